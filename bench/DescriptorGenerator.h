#pragma once
// Generated "_setup.xml" descriptors shared by the benchmarks that compare against the XML
// descriptor handler.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A writer-shaped descriptor of about targetBytes: install header, directories of 50 files each
// (two Source parms per Extract, so 200,000 files fill 20 MB), a shortcut per directory, some
// registry values, and a little unrecognised markup before and after the sections.
inline std::vector<uint8_t> GenerateDescriptor(size_t targetBytes, size_t& files) {
    std::string text =
        "<?xml version=\"1.0\"?>\n<wap-provisioningdoc>\n"
        "<characteristic type=\"Install\">\n"
        "<parm name=\"AppName\" value=\"Bench &quot;App&quot;\" />\n"
        "<parm name=\"InstallDir\" value=\"%CE1%\\Bench\" translation=\"install\" />\n"
        "</characteristic>\n"
        "<characteristic type=\"Custom\"><parm name=\"Path\" value=\"%CE2%\\x\"/>"
        "</characteristic>\n"
        "<characteristic type=\"FileOperation\">\n";
    text.reserve(targetBytes + 4096);
    files = 0;
    size_t dir = 0;
    const size_t registryReserve = targetBytes / 50;
    while (text.size() + registryReserve < targetBytes) {
        const std::string d = std::to_string(dir++);
        text += "<characteristic type=\"%CE1%\\Bench\\d" + d +
                "\" translation=\"install\">\n<characteristic type=\"MakeDir\" />\n";
        for (int f = 0; f < 25; ++f) {
            const std::string n = std::to_string(files % 998 + 1);
            text += "<characteristic type=\"f" + std::to_string(files) +
                    ".dll\" translation=\"install\"><characteristic type=\"Extract\">"
                    "<parm name=\"Source\" value=\"f." +
                    n + "\"/><parm name=\"Source\" value=\"g." + n +
                    "\"/></characteristic></characteristic>\n";
            files += 2;
        }
        text += "<characteristic type=\"App " + d +
                ".lnk\" translation=\"install\"><characteristic type=\"Shortcut\">"
                "<parm name=\"Source\" value=\"%CE1%\\Bench\\app.exe\"/></characteristic>"
                "</characteristic>\n</characteristic>\n";
    }
    text += "</characteristic>\n<characteristic type=\"Registry\">\n";
    size_t key = 0;
    while (text.size() < targetBytes) {
        text += "<characteristic type=\"HKLM\\Software\\Bench\\K" + std::to_string(key++) +
                "\" translation=\"install\">\n"
                "<parm name=\"Path\" value=\"%CE1%\\Bench\" datatype=\"string\" />\n"
                "<parm name=\"List\" value=\"a\xEF\x80\x80"
                "b\xEF\x80\x80\" datatype=\"multiplestring\" />\n</characteristic>\n";
    }
    text += "</characteristic>\n<characteristic type=\"Tail\" />\n</wap-provisioningdoc>\n";
    return {text.begin(), text.end()};
}
