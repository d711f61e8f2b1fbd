#pragma once
// A small forgiving markup parser: cuts a document into a flat list of text, tag, comment and
// server-script items. It builds no tree, matches no closing tags and decodes no entities.
#include "cab/Streams.h"
#include "xml/XMLScan.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Called with a message and its context; unassigned means parse errors pass silently.
using TXMLErrorEvent = std::function<void(const std::string& message, const std::string& context)>;

// Common base of everything in TXMLParser::Items, so the list can hold tags beside the spans;
// callers tell the kinds apart with dynamic_cast.
class TXMLNode {
  public:
    virtual ~TXMLNode() = default;
};

// A span of the parser's Buffer. It owns no text.
class TXMLItem : public TXMLNode {
  public:
    const char* Start = nullptr;
    int64_t Length = 0;

    void SetSpan(const char* start, int64_t length) {
        Start = start;
        Length = length;
    }
    // Empty for a fresh item or a span of zero or negative length.
    [[nodiscard]] std::string_view View() const {
        if (!Start || Length <= 0) return {};
        return {Start, static_cast<size_t>(Length)};
    }
    [[nodiscard]] std::string GetText() const { return std::string(View()); }
};

class TXMLText : public TXMLItem {};
class TXMLComment : public TXMLItem {};
class TXMLServerScript : public TXMLItem {};

// One attribute: Whole as written, Name, and Value without its quotes (empty without "=").
class TXMLParam {
  public:
    TXMLItem Whole;
    TXMLItem Name;
    TXMLItem Value;
};

class TXMLTag : public TXMLNode {
  public:
    TXMLErrorEvent OnError;
    TXMLItem Name;
    TXMLItem Text;                 // everything between "<" and ">"
    uint8_t IsOpen = 1;            // 0 when the text, without trailing spaces, ends in "/"
    std::vector<TXMLParam> Params; // empty until the first attribute is added

    [[nodiscard]] std::string GetName() const { return Name.GetText(); }
    [[nodiscard]] std::string_view NameView() const { return Name.View(); }
    // Splits a tag text into name and attributes; the text must outlive the tag.
    void SetText(const char* text, int64_t length);
};

class TXMLParser {
  public:
    TXMLParser() = default;
    TXMLParser(const TXMLParser&) = delete;
    TXMLParser& operator=(const TXMLParser&) = delete;

    std::string Buffer; // the normalised document; every item points into it
    TXMLErrorEvent OnError;
    std::string LastTagName;
    int64_t ItemStart = 0;
    int64_t ItemEnd = 0;
    int64_t LastEnd = -1;
    std::vector<std::unique_ptr<TXMLNode>> Items;
    TMemoryStream Input; // the raw document, loaded by the caller
    // 0 probes for "<vlm", 1 for "<characteristic" and "<parm", anything else does not probe.
    uint8_t ProbeMode = 0;

    // Rebuilds Buffer from Input and cuts it into Items; earlier items become invalid.
    void Parse();
    void Normalize();
    void Reset();
    void ClearItems() { Items.clear(); }
    void AddText();
    void AddMarkup();

  private:
    void Report(const std::string& message, int64_t contextStart) const;
    void Append(std::unique_ptr<TXMLNode> item);
};
