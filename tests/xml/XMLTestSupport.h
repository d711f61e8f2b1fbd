#pragma once
// Runs the markup parser over a text and describes its items compactly for assertions.
#include "xml/XMLPars.h"

#include <string>
#include <vector>

// Loads text into the parser's Input and parses it.
inline void ParseText(TXMLParser& parser, const std::string& text) {
    parser.Input = TMemoryStream(std::vector<uint8_t>(text.begin(), text.end()));
    parser.Parse();
}

// One line per item: "T:text", "C:comment", "S:script", or "<name" followed by its attributes
// as " name=value", then "/" for a self-closing tag.
inline std::vector<std::string> Describe(const TXMLParser& parser) {
    std::vector<std::string> lines;
    for (const auto& node : parser.Items) {
        if (const auto* tag = dynamic_cast<const TXMLTag*>(node.get())) {
            std::string line = "<" + tag->GetName();
            for (const TXMLParam& param : tag->Params)
                line += " " + param.Name.GetText() + "=" + param.Value.GetText();
            if (tag->IsOpen == 0) line += "/";
            lines.push_back(line);
        } else if (const auto* c = dynamic_cast<const TXMLComment*>(node.get())) {
            lines.push_back("C:" + c->GetText());
        } else if (const auto* s = dynamic_cast<const TXMLServerScript*>(node.get())) {
            lines.push_back("S:" + s->GetText());
        } else if (const auto* t = dynamic_cast<const TXMLText*>(node.get())) {
            lines.push_back("T:" + t->GetText());
        }
    }
    return lines;
}

inline std::vector<std::string> ParseAndDescribe(const std::string& text, uint8_t probeMode = 2) {
    TXMLParser parser;
    parser.ProbeMode = probeMode;
    ParseText(parser, text);
    return Describe(parser);
}

// The first tag of a document, split.
inline const TXMLTag* FirstTag(const TXMLParser& parser) {
    for (const auto& node : parser.Items)
        if (const auto* tag = dynamic_cast<const TXMLTag*>(node.get())) return tag;
    return nullptr;
}
