#pragma once
// Writes JSON as it goes, into a buffer of its own, in the compact form the tool has always
// printed: no spaces, strings escaped as JSON requires (control characters as \b, \t, \n, \f, \r or
// \u00xx with lower-case digits), and DEL and the C1 controls U+0080 to U+009F as \u00xx too, so
// that a document shown on a terminal cannot steer it; everything else, non-ASCII included, as it
// stands. Nothing is built first, so a setup of many thousand files is written in one pass.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class TJsonWriter {
  public:
    TJsonWriter() = default;
    ~TJsonWriter() = default;
    TJsonWriter(const TJsonWriter&) = delete;
    TJsonWriter& operator=(const TJsonWriter&) = delete;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(std::string_view key);
    // Text that is UTF-8 already.
    void String(std::string_view text);
    // 8-bit text without a code page: each byte becomes the code point of its value.
    void Latin1(std::string_view text);
    void Int(int64_t value);
    void Bool(bool value);
    void Null();
    // A value serialised elsewhere in the same form.
    void Raw(std::string_view json);
    // A byte after the document, such as its line end.
    void Put(char c) {
        *Room(1) = c;
        ++FSize;
    }
    [[nodiscard]] std::string_view Text() const { return {FData.get(), FSize}; }

  private:
    void Value();
    void Escaped(std::string_view text, bool latin1);
    // Room for count more bytes; the answer is where they go.
    char* Room(size_t count) {
        return count <= FCapacity - FSize ? FData.get() + FSize : Grow(count);
    }
    char* Grow(size_t count);
    void Append(std::string_view text);

    // Grown with realloc: a large buffer is moved by remapping its pages, not copied.
    struct TFree {
        void operator()(char* data) const;
    };
    std::unique_ptr<char, TFree> FData;
    size_t FSize = 0;
    size_t FCapacity = 0;
    bool FComma = false; // a member or element precedes the next one
};
