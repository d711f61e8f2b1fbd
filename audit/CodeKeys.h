#pragma once
// Registry places where a value makes the device start a program or load code by itself, as
// the platform documents them. The table with its sources is in CodeKeys.cpp.
#include <cstdint>
#include <string_view>

struct TCodeKey {
    int32_t Root;       // the model's root number
    const char* Key;    // "\"-separated; "*" is one key of any name, a final "**" any depth
    const char* Value;  // "" any value, "@" the default value, "Name*" a prefix, else exact
    bool RunsByItself;  // at boot or on a device event; else when a program asks for it
    const char* Why;    // one sentence
    const char* Source; // the documentation page
};

// The first entry whose key and value match, ignoring ASCII case; nullptr when none does.
[[nodiscard]] const TCodeKey* FindCodeKey(int32_t root, std::string_view keyPath,
                                          std::string_view valueName);
