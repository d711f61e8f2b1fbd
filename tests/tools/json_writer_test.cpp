// The streaming writer prints what the JSON library printed for the same values (every byte
// value in 8-bit and UTF-8 texts, keys, numbers at their limits, nesting and empty containers),
// except that DEL and the C1 controls are escaped too.
#include "tools/Json.h"
#include "tools/JsonWriter.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace {

// The library's output with DEL and U+0080 to U+009F escaped, as the writer does.
std::string WithTerminalEscapes(const std::string& dumped) {
    std::string out;
    char hex[8];
    for (size_t i = 0; i < dumped.size(); ++i) {
        const auto b = static_cast<unsigned char>(dumped[i]);
        const auto next = i + 1 < dumped.size() ? static_cast<unsigned char>(dumped[i + 1]) : 0;
        if (b == 0x7F) {
            out += "\\u007f";
        } else if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(hex, sizeof hex, "\\u%04x", next);
            out += hex;
            ++i;
        } else {
            out += dumped[i];
        }
    }
    return out;
}

bool HasRawTerminalControl(std::string_view json) {
    for (size_t i = 0; i < json.size(); ++i) {
        const auto b = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (b < 0x20 || b == 0x7F || (b == 0xC2 && next >= 0x80 && next <= 0x9F)) return true;
    }
    return false;
}

} // namespace

using nlohmann::ordered_json;

TEST(JsonWriter, WritesByteForByteWhatTheJsonLibraryWrote) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    std::string everyAscii = everyByte.substr(0, 127);
    everyAscii.insert(everyAscii.begin(), '\0');
    const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x1b[31m \"q\" \\ /";
    const std::string key = "k\"\\\n\x01\x7f";

    TJsonWriter out;
    out.BeginObject();
    out.Key("latin1");
    out.Latin1(everyByte);
    out.Key("ascii");
    out.String(everyAscii);
    out.Key("utf8");
    out.String(utf8);
    out.Key(key);
    out.BeginArray();
    out.Int(std::numeric_limits<int64_t>::min());
    out.Int(std::numeric_limits<int64_t>::max());
    out.Int(0);
    out.Bool(true);
    out.Bool(false);
    out.Null();
    out.BeginObject();
    out.EndObject();
    out.BeginArray();
    out.EndArray();
    out.Raw("[1]");
    out.String("");
    out.EndArray();
    out.EndObject();

    ordered_json expected = ordered_json::object();
    expected["latin1"] = Latin1ToUtf8(everyByte);
    expected["ascii"] = everyAscii;
    expected["utf8"] = utf8;
    expected[key] = {std::numeric_limits<int64_t>::min(),
                     std::numeric_limits<int64_t>::max(),
                     0,
                     true,
                     false,
                     nullptr,
                     ordered_json::object(),
                     ordered_json::array(),
                     {1},
                     ""};
    EXPECT_EQ(out.Text(), WithTerminalEscapes(expected.dump()));
    EXPECT_FALSE(HasRawTerminalControl(out.Text()));
    EXPECT_EQ(ordered_json::parse(out.Text()), expected) << "the same values";
}

TEST(JsonWriter, LongTextsAreWrittenWhole) {
    // Longer than the pieces the writer escapes at a time, with escapes across their borders.
    std::string text(10000, 'a');
    for (size_t i = 4090; i < text.size(); i += 4096)
        text.replace(i, 8, "\n\x01\"\xE9\\\t\x1f\xFF");
    TJsonWriter out;
    out.Latin1(text);
    EXPECT_EQ(out.Text(), ordered_json(Latin1ToUtf8(text)).dump());

    // A C1 control in UTF-8 cut by the border of a piece is still escaped whole.
    std::string c1(4095, 'a');
    c1 += "\xC2\x9B\xC2\xA0";
    TJsonWriter utf8;
    utf8.String(c1);
    EXPECT_EQ(utf8.Text(), "\"" + std::string(4095, 'a') + "\\u009b\xC2\xA0\"");
}

TEST(JsonWriter, RandomTextsMatchTheJsonLibraryWhereverTheSpecialBytesFall) {
    // Plain runs are copied eight bytes at a time: special bytes at every offset of those words,
    // at the ends of texts and across the writer's pieces must still be escaped one by one.
    const std::vector<std::string> utf8Tokens = {"a",
                                                 "Z",
                                                 " ",
                                                 "~",
                                                 "\x7f",
                                                 "\"",
                                                 "\\",
                                                 "\n",
                                                 "\x01",
                                                 "\x1f",
                                                 "\xC2\x80",
                                                 "\xC2\x9F",
                                                 "\xC2\xA0",
                                                 "\xC3\xA9",
                                                 "\xE2\x82\xAC",
                                                 "\xF0\x9F\x98\x80"};
    std::mt19937 random(20261209);
    for (int round = 0; round < 4000; ++round) {
        const size_t length = round % 100 == 0 ? 5000 + random() % 4000 : random() % 40;
        const bool mostlyPlain = random() % 2 == 0;
        std::string utf8, latin1;
        while (utf8.size() < length) {
            const bool plain = mostlyPlain && random() % 16 != 0;
            utf8 += plain ? std::string(1, static_cast<char>('a' + random() % 26))
                          : utf8Tokens[random() % utf8Tokens.size()];
        }
        while (latin1.size() < length) {
            const bool plain = mostlyPlain && random() % 16 != 0;
            latin1 += static_cast<char>(plain ? 'a' + random() % 26 : random() % 256);
        }
        // Keys take a path of their own when they are short and plain.
        std::string key;
        while (key.size() < static_cast<size_t>(round % 40)) {
            const bool plain = mostlyPlain && random() % 16 != 0;
            key += plain ? std::string(1, static_cast<char>('a' + random() % 26))
                         : utf8Tokens[random() % utf8Tokens.size()];
        }
        TJsonWriter out;
        out.BeginObject();
        out.Key("texts");
        out.BeginArray();
        out.String(utf8);
        out.Latin1(latin1);
        out.EndArray();
        out.Key(key);
        out.Int(round);
        out.EndObject();
        ordered_json expected = ordered_json::object();
        expected["texts"] = {utf8, Latin1ToUtf8(latin1)};
        if (key == "texts") continue;
        expected[key] = round;
        ASSERT_EQ(out.Text(), WithTerminalEscapes(expected.dump())) << "round " << round;
    }
}
