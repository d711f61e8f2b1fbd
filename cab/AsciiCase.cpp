#include "cab/AsciiCase.h"

std::string UpperCaseAscii(std::string text) {
    for (char& c : text)
        c = UpperAscii(c);
    return text;
}

std::string LowerCaseAscii(std::string text) {
    for (char& c : text)
        c = LowerAscii(c);
    return text;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}
