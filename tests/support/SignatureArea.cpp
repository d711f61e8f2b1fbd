#include "tests/support/SignatureArea.h"

#include <stdexcept>

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) |
           (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

} // namespace

std::vector<uint8_t> SignatureArea(const std::vector<uint8_t>& cabinet) {
    const uint32_t position = U32(cabinet, 44);
    const uint32_t size = U32(cabinet, 48);
    if (uint64_t(position) + size > cabinet.size()) throw std::runtime_error("not signed");
    return {cabinet.begin() + position, cabinet.begin() + position + size};
}

std::vector<uint8_t> WithSignature(const std::vector<uint8_t>& cabinet,
                                   const std::vector<uint8_t>& der) {
    const uint32_t position = U32(cabinet, 44);
    std::vector<uint8_t> out(cabinet.begin(), cabinet.begin() + position);
    out.insert(out.end(), der.begin(), der.end());
    const uint32_t size = static_cast<uint32_t>(der.size());
    for (int i = 0; i < 4; ++i)
        out[48 + i] = static_cast<uint8_t>(size >> (8 * i));
    return out;
}
