#include "xml/XMLPars.h"

#include "cab/AsciiCase.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <stdexcept>

namespace {

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// ASCII case-insensitive comparison with a lower-case word.
bool IsWord(std::string_view text, std::string_view lowerWord) {
    if (text.size() != lowerWord.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (LowerAscii(text[i]) != lowerWord[i]) return false;
    return true;
}

} // namespace

void TXMLTag::SetText(const char* text, int64_t length) {
    const char* const t = text;
    const int64_t n = length;
    Text.SetSpan(t, n);

    int64_t back = n - 1;
    while (back >= 0 && t[back] == ' ')
        --back;
    IsOpen = (back >= 0 && t[back] == '/') ? 0 : 1;

    const int64_t nameEnd = FindSpaceOutsideQuotes(t, n, 0);
    if (nameEnd < 0) {
        Name.SetSpan(t, n);
        return;
    }
    Name.SetSpan(t, nameEnd);

    int64_t c = nameEnd;
    for (;;) {
        const int64_t k = SkipSpaces(t, n, c + 1);
        if (k < 0) return;
        const int64_t e = FindCharOutsideQuotes('=', t, n, k);
        if (e < 0) {
            const int64_t last = SkipSpacesBack(t, n, n - 1);
            TXMLParam& param = Params.emplace_back();
            param.Name.SetSpan(t + k, last - k + 1);
            param.Value.SetSpan(t + n, 0);
            param.Whole.SetSpan(t + c, n - c);
            return;
        }
        int64_t v = SkipSpaces(t, n, e + 1);
        if (v < 0) v = n;
        int64_t w = FindSpaceOutsideQuotes(t, n, v);
        if (w < 0) w = n;
        int64_t first = v;
        if (first < n && IsQuote(t[first])) ++first;
        int64_t last = w - 1;
        if (last >= 0 && t[last] == '/') --last;
        if (last >= 0 && IsQuote(t[last])) --last;

        const int64_t nameLast = SkipSpacesBack(t, n, e - 1);
        if (nameLast >= k) {
            TXMLParam& param = Params.emplace_back();
            param.Name.SetSpan(t + k, nameLast - k + 1);
            param.Value.SetSpan(t + first, last - first + 1);
            param.Whole.SetSpan(t + c, w < n ? w - c + 1 : n - c);
        } else if (OnError) {
            OnError("key not defined in tag", "<" + std::string(t, static_cast<size_t>(n)) + ">");
        }
        c = w;
    }
}

void TXMLParser::Normalize() {
    Buffer.clear();
    const std::vector<uint8_t>& in = Input.Data();
    Buffer.reserve(in.size());
    bool markup = false;
    bool quoted = false;
    bool pendingSpace = false;
    for (const uint8_t byte : in) {
        const char c = static_cast<char>(byte);
        if (!markup) {
            Buffer.push_back(c);
            if (c == '<') markup = true;
            continue;
        }
        if (quoted) {
            Buffer.push_back(c);
            if (c == '"') quoted = false;
            continue;
        }
        if (c == ' ' || c == '\r' || c == '\n') {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace) {
            Buffer.push_back(' ');
            pendingSpace = false;
        }
        Buffer.push_back(c);
        if (c == '"')
            quoted = true;
        else if (c == '>')
            markup = false;
    }
    // A run of spaces at the very end is still written as one.
    if (pendingSpace) Buffer.push_back(' ');
}

void TXMLParser::Reset() {
    ClearItems();
    for (TSplitTag& split : FSplit)
        split.Index = static_cast<size_t>(-1);
    // A name left from the previous document would put the next one under the script rule.
    LastTagName.clear();
    ItemStart = 0;
    ItemEnd = 0;
    LastEnd = -1;
}

void TXMLParser::Report(const std::string& message, int64_t contextStart) const {
    if (!OnError) return;
    const auto size = static_cast<int64_t>(Buffer.size());
    const std::string context =
        contextStart < size ? Buffer.substr(static_cast<size_t>(contextStart)) : std::string();
    OnError(message, context);
}

void TXMLParser::Append(TXMLKind kind, int64_t start, int64_t length) {
    // The shortest comment, "<!-->", has a negative inside: it reads as empty.
    Items.emplace_back(kind, static_cast<uint32_t>(start),
                       static_cast<uint32_t>(length > 0 ? length : 0));
}

const TXMLTag* TXMLParser::TagAt(size_t i) const {
    if (i >= Items.size() || Items[i].Kind() != TXMLKind::Tag) return nullptr;
    for (const TSplitTag& split : FSplit)
        if (split.Index == i) return &split.Tag;
    TSplitTag& slot = FSplit[FNextSplit];
    FNextSplit = (FNextSplit + 1) % std::size(FSplit);
    slot.Index = static_cast<size_t>(-1);
    // Errors of the tag were reported when it was parsed.
    slot.Tag.OnError = nullptr;
    slot.Tag.Params.clear();
    slot.Tag.SetText(Buffer.data() + Items[i].Start(), Items[i].Length());
    slot.Index = i;
    return &slot.Tag;
}

void TXMLParser::AddText() {
    const int64_t from = LastEnd + 1;
    const int64_t count = ItemStart - from;
    if (count <= 0) return;
    Append(TXMLKind::Text, from, count);
}

void TXMLParser::AddMarkup() {
    const int64_t n = ItemEnd - ItemStart - 1;
    const int64_t after = ItemStart + 1;
    const char* const text = Buffer.data() + after;
    if (n > 0) {
        if (text[0] == '%') {
            Append(TXMLKind::ServerScript, after + 1, n - 2);
        } else if (n >= 3 && text[0] == '!' && text[1] == '-' && text[2] == '-') {
            Append(TXMLKind::Comment, after + 3, n - 5);
        } else {
            FScratch.Params.clear();
            FScratch.SetText(text, n);
            LastTagName.assign(FScratch.NameView());
            Append(TXMLKind::Tag, after, n);
        }
    }
    ItemStart = ItemEnd;
    LastEnd = ItemEnd;
}

void TXMLParser::Parse() {
    Reset();
    Buffer.clear();
    if (Input.Size() > static_cast<int64_t>(TXMLEntry::kMaxLength))
        throw std::length_error("the document is 1 GiB or larger");
    try {
        Normalize();
        if (Buffer.size() > TXMLEntry::kMaxLength)
            throw std::length_error("the document is 1 GiB or larger");
        Cut();
    } catch (...) {
        Reset();
        throw;
    }
}

void TXMLParser::Cut() {
    FScratch.OnError = OnError;
    // Every item but text starts at a "<", and texts lie between them: one allocation that
    // fits a document of tags exactly, where growing by doubling would need three times it.
    Items.reserve(static_cast<size_t>(std::count(Buffer.begin(), Buffer.end(), '<')) + 1);
    const char* const data = Buffer.data();
    const auto size = static_cast<int64_t>(Buffer.size());
    if (size == 0) return;

    const bool probed = ProbeMode == 0   ? IsVlmMarkup(data, size)
                        : ProbeMode == 1 ? IsSetupMarkup(data, size)
                                         : true;
    if (!probed) {
        ItemStart = size;
        AddText();
        return;
    }

    for (;;) {
        if (data[ItemStart] == '<') {
            const int64_t next = ItemStart + 1;
            if (next < size && data[next] == '%') {
                ItemEnd = FindText("%>", data, size, ItemStart + 2);
                if (ItemEnd >= 0) ItemEnd += 1;
            } else if (next + 2 < size && data[next] == '!' && data[next + 1] == '-' &&
                       data[next + 2] == '-') {
                ItemEnd = FindText("-->", data, size, ItemStart + 2);
                if (ItemEnd >= 0) ItemEnd += 2;
            } else {
                ItemEnd = FindCharOutsideQuotes('>', data, size, next);
            }
            if (ItemEnd < 0) {
                Report("> not found", ItemStart);
                return;
            }
            AddMarkup();
            continue;
        }
        const int64_t from = ItemEnd + 1;
        if (IsWord(LastTagName, "script")) {
            ItemStart = FindText("</script", data, size, from);
            if (ItemStart < 0) {
                Report("</script> not match", from);
                return;
            }
        } else if (IsWord(LastTagName, "style")) {
            ItemStart = FindText("</style", data, size, from);
            if (ItemStart < 0) {
                Report("</style> not match", from);
                return;
            }
        } else {
            ItemStart = FindChar('<', data, size, from);
            if (ItemStart < 0) {
                ItemStart = size;
                AddText();
                return;
            }
        }
        AddText();
    }
}
