#include "signature/Der.h"

namespace der {

std::optional<TElement> TReader::Next() {
    // Single-byte tags only: the structures read here use no others.
    if (FData.size() < 2 || (FData[0] & 0x1F) == 0x1F) return std::nullopt;
    size_t header = 2;
    size_t length = FData[1];
    if (length & 0x80) {
        const size_t octets = length & 0x7F;
        // Indefinite lengths are not DER; more than four octets is more than any input here.
        if (octets == 0 || octets > 4 || FData.size() < 2 + octets) return std::nullopt;
        length = 0;
        for (size_t i = 0; i < octets; ++i)
            length = (length << 8) | FData[2 + i];
        header += octets;
    }
    if (length > FData.size() - header) return std::nullopt;
    TElement e;
    e.Tag = FData[0];
    e.Content = FData.subspan(header, length);
    e.Whole = FData.first(header + length);
    FData = FData.subspan(header + length);
    return e;
}

std::optional<TElement> TReader::Expect(uint8_t tag) {
    auto e = Next();
    if (!e || e->Tag != tag) return std::nullopt;
    return e;
}

std::string OidText(std::span<const uint8_t> content) {
    std::string text;
    uint64_t value = 0;
    bool first = true;
    for (size_t i = 0; i < content.size(); ++i) {
        if (value > (uint64_t(1) << 56)) return {};
        value = (value << 7) | (content[i] & 0x7F);
        if (content[i] & 0x80) continue;
        if (first) {
            const uint64_t arc = value < 80 ? value / 40 : 2;
            text = std::to_string(arc) + "." + std::to_string(value - arc * 40);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    if (content.empty() || (content.back() & 0x80)) return {};
    return text;
}

} // namespace der
