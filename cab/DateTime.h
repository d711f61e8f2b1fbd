#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// A calendar date and time of day as a cabinet stores it, already validated.
struct TDateTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    friend bool operator==(const TDateTime&, const TDateTime&) = default;
};

// Converts a DOS date and time. Throws EConvertError "Invalid argument to date encode" for a
// date that does not exist and "Invalid argument to time encode" for an impossible time.
[[nodiscard]] TDateTime DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime);

// "YYYY-MM-DD HH:MM:SS".
[[nodiscard]] std::string FormatDateTime(const TDateTime& value);

// The same text in a buffer of its own, for writers of many thousand dates.
struct TDateText {
    explicit TDateText(const TDateTime& value);
    [[nodiscard]] std::string_view View() const { return {Text, sizeof Text}; }
    char Text[19];
};
