#pragma once
// Base64 (RFC 4648, standard alphabet) as certificates are written into provisioning
// documents: whitespace and line breaks anywhere, "=" padding only at the end.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace provisioning {

// The bytes, or nullopt with why in words ("byte 0x2A at offset 17 is not base64").
[[nodiscard]] std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text,
                                                               std::string& why);

} // namespace provisioning
