#pragma once
// Loads descriptor texts through TSetupXML and builds descriptors of the shape the setup writer
// emits, with knobs for the damage the reader must survive.
#include "cab/Streams.h"
#include "setup/SetupXML.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline void LoadText(TSetupXML& handler, const std::string& text) {
    TMemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    stream.Seek(0, TSeekOrigin::End); // the reader must start from the first byte anyway
    ASSERT_TRUE(handler.ParseDescriptor(std::string(), &stream));
}

// The text with each CR shown as '|': the markup's lines, on one line of a failure message.
inline std::string Lines(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '|';
    return text;
}

// A wrapped descriptor: root tag, then the given body.
inline std::string Wrapped(const std::string& body) {
    return "<wap-provisioningdoc>\n" + body + "</wap-provisioningdoc>\n";
}

inline std::string InstallSection(const std::string& appName, const std::string& installDir) {
    return "<characteristic type=\"Install\">\n"
           "<parm name=\"InstallPhase\" value=\"install\" />\n"
           "<parm name=\"AppName\" value=\"" +
           appName +
           "\" />\n"
           "<parm name=\"InstallDir\" value=\"" +
           installDir +
           "\" translation=\"install\" />\n"
           "</characteristic>\n";
}

// One file characteristic with its Extract inside a directory.
inline std::string FileEntry(const std::string& name, const std::string& source) {
    return "<characteristic type=\"" + name +
           "\" translation=\"install\">\n<characteristic type=\"Extract\">\n"
           "<parm name=\"Source\" value=\"" +
           source + "\" />\n</characteristic>\n</characteristic>\n";
}

inline std::string Directory(const std::string& path, const std::string& entries) {
    return "<characteristic type=\"" + path +
           "\" translation=\"install\">\n<characteristic type=\"MakeDir\" />\n" + entries +
           "</characteristic>\n";
}

inline std::string FileOperation(const std::string& directories) {
    return "<characteristic type=\"FileOperation\">\n" + directories + "</characteristic>\n";
}
