#include "xml/XMLPars.h"

#include "cab/AsciiCase.h"

#include <new>

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

void TXMLParser::Append(std::unique_ptr<TXMLNode> item) {
    Items.push_back(std::move(item));
}

void TXMLParser::AddText() {
    const int64_t from = LastEnd + 1;
    const int64_t count = ItemStart - from;
    if (count <= 0) return;
    auto text = std::make_unique<TXMLText>();
    text->SetSpan(Buffer.data() + from, count);
    Append(std::move(text));
}

void TXMLParser::AddMarkup() {
    const int64_t n = ItemEnd - ItemStart - 1;
    const char* const after = Buffer.data() + ItemStart + 1;
    // Running out of memory here is an error for the caller, never a shorter document.
    if (n > 0) {
        if (after[0] == '%') {
            auto script = std::make_unique<TXMLServerScript>();
            script->SetSpan(after + 1, n - 2);
            Append(std::move(script));
        } else if (n >= 3 && after[0] == '!' && after[1] == '-' && after[2] == '-') {
            auto comment = std::make_unique<TXMLComment>();
            comment->SetSpan(after + 3, n - 5);
            Append(std::move(comment));
        } else {
            auto tag = std::make_unique<TXMLTag>();
            tag->OnError = OnError;
            tag->SetText(after, n);
            LastTagName = tag->GetName();
            Append(std::move(tag));
        }
    }
    ItemStart = ItemEnd;
    LastEnd = ItemEnd;
}

void TXMLParser::Parse() {
    Normalize();
    Reset();
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
