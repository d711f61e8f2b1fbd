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
    for (size_t i = 0; i < parser.Items.size(); ++i) {
        const std::string text(parser.TextAt(i));
        switch (parser.Items[i].Kind()) {
        case TXMLKind::Tag: {
            const TXMLTag* tag = parser.TagAt(i);
            std::string line = "<" + tag->GetName();
            for (const TXMLParam& param : tag->Params)
                line += " " + param.Name.GetText() + "=" + param.Value.GetText();
            if (tag->IsOpen == 0) line += "/";
            lines.push_back(line);
            break;
        }
        case TXMLKind::Comment:
            lines.push_back("C:" + text);
            break;
        case TXMLKind::ServerScript:
            lines.push_back("S:" + text);
            break;
        case TXMLKind::Text:
            lines.push_back("T:" + text);
            break;
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
    for (size_t i = 0; i < parser.Items.size(); ++i)
        if (const TXMLTag* tag = parser.TagAt(i)) return tag;
    return nullptr;
}
