#pragma once
// Numbers and binary data as setup documents write them in text: decimal numbers and base64
// (RFC 4648, standard alphabet).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Base64 with "=" padding only at the end. Certificates in provisioning documents come in
// lines, so `allowWhitespace` skips spaces and line breaks anywhere; the descriptor's binary
// registry data has none, and there a space makes the text something other than base64.
// Returns the bytes, or nullopt with why in words ("byte 0x2A at offset 17 is not base64").
// An empty text (or one of only whitespace) is not base64: callers that accept "no bytes" test
// for it first.
[[nodiscard]] std::optional<std::vector<uint8_t>>
DecodeBase64(std::string_view text, std::string& why, bool allowWhitespace = true);

// Plain decimal digits that fit in 32 bits: no sign, no spaces, at most ten digits.
[[nodiscard]] std::optional<uint32_t> ParseDecimal32(std::string_view text);
