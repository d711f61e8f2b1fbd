#pragma once
// Just enough DER to walk the small structures the crypto library leaves to us: one element
// at a time, every length checked against what is left.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace der {

struct TElement {
    uint8_t Tag = 0;
    std::span<const uint8_t> Content; // the value octets
    std::span<const uint8_t> Whole;   // tag, length and value
};

// Reads elements one after another from a span.
class TReader {
  public:
    explicit TReader(std::span<const uint8_t> data) : FData(data) {}
    // The next element, nullopt at the end or when its header or length does not fit.
    [[nodiscard]] std::optional<TElement> Next();
    // The next element when it has the tag, nullopt otherwise.
    [[nodiscard]] std::optional<TElement> Expect(uint8_t tag);
    [[nodiscard]] bool AtEnd() const { return FData.empty(); }

  private:
    std::span<const uint8_t> FData;
};

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kObjectId = 0x06;

// An OBJECT IDENTIFIER's content as dotted text; empty when malformed.
[[nodiscard]] std::string OidText(std::span<const uint8_t> content);

} // namespace der
