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

// A span of the parser's Buffer. It owns no text.
class TXMLItem {
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

enum class TXMLKind : uint8_t { Text, Tag, Comment, ServerScript };

// One item of a parse in eight bytes: what it is and which bytes of Buffer it covers (for a tag
// the text between "<" and ">"; for a comment or a server script the text inside). A document
// of millions of tiny tags costs eight bytes per tag, not a heap object each.
class TXMLEntry {
  public:
    TXMLEntry(TXMLKind kind, uint32_t start, uint32_t length)
        : FStart(start), FLengthAndKind(length | (static_cast<uint32_t>(kind) << 30)) {}
    [[nodiscard]] TXMLKind Kind() const { return static_cast<TXMLKind>(FLengthAndKind >> 30); }
    [[nodiscard]] uint32_t Start() const { return FStart; }
    [[nodiscard]] uint32_t Length() const { return FLengthAndKind & kMaxLength; }
    static constexpr uint32_t kMaxLength = (1u << 30) - 1;

  private:
    uint32_t FStart;
    uint32_t FLengthAndKind;
};

// One attribute: Whole as written, Name, and Value without its quotes (empty without "=").
class TXMLParam {
  public:
    TXMLItem Whole;
    TXMLItem Name;
    TXMLItem Value;
};

class TXMLTag {
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
    std::vector<TXMLEntry> Items;
    TMemoryStream Input; // the raw document, loaded by the caller
    // 0 probes for "<vlm", 1 for "<characteristic" and "<parm", anything else does not probe.
    uint8_t ProbeMode = 0;

    // Rebuilds Buffer from Input and cuts it into Items; earlier items become invalid. A
    // document of 1 GiB or more is refused with std::length_error; running out of memory
    // raises std::bad_alloc. Either way no items are left.
    void Parse();
    // The item at index i as a split tag, or null when it is not a tag. Split when asked: the
    // tag stays valid until a few other tags have been asked for, or the next Parse.
    [[nodiscard]] const TXMLTag* TagAt(size_t i) const;
    // The bytes of Buffer the item at index i covers.
    [[nodiscard]] std::string_view TextAt(size_t i) const {
        return {Buffer.data() + Items[i].Start(), Items[i].Length()};
    }
    void Normalize();
    void Reset();
    void ClearItems() {
        Items.clear();
        Items.shrink_to_fit();
    }
    void AddText();
    void AddMarkup();

  private:
    void Report(const std::string& message, int64_t contextStart) const;
    void Cut(); // Parse after Normalize
    void Append(TXMLKind kind, int64_t start, int64_t length);
    // Tags split lately, reused round the ring: no allocation per tag once warm.
    struct TSplitTag {
        size_t Index = static_cast<size_t>(-1);
        TXMLTag Tag;
    };
    mutable TSplitTag FSplit[4];
    mutable size_t FNextSplit = 0;
    TXMLTag FScratch; // the tag being added, split once to report and to learn its name
};
