#pragma once
// The signature area of a signed cabinet, read and replaced byte for byte.
#include <cstdint>
#include <vector>

// The cabinet with its signature area replaced by der (and the reserve's size field to match).
[[nodiscard]] std::vector<uint8_t> WithSignature(const std::vector<uint8_t>& signedCabinet,
                                                 const std::vector<uint8_t>& der);
// The DER of the signature area of a signed cabinet, as declared (padding included).
[[nodiscard]] std::vector<uint8_t> SignatureArea(const std::vector<uint8_t>& signedCabinet);
