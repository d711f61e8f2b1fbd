#include "cab/DateTime.h"

#include "cab/Errors.h"

namespace {
bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}
} // namespace

TDateTime DosDateTimeToDateTime(uint16_t dosDate, uint16_t dosTime) {
    TDateTime v;
    v.Year = 1980 + (dosDate >> 9);
    v.Month = (dosDate >> 5) & 0x0F;
    v.Day = dosDate & 0x1F;
    v.Hour = dosTime >> 11;
    v.Minute = (dosTime >> 5) & 0x3F;
    v.Second = (dosTime & 0x1F) * 2;
    if (v.Month < 1 || v.Month > 12 || v.Day < 1 || v.Day > DaysInMonth(v.Year, v.Month))
        throw EConvertError("Invalid argument to date encode");
    if (v.Hour >= 24 || v.Minute >= 60 || v.Second >= 60)
        throw EConvertError("Invalid argument to time encode");
    return v;
}

TDateText::TDateText(const TDateTime& v) : Text{"0000-00-00 00:00:0"} {
    // By hand rather than snprintf: listings of many thousand entries format one per entry.
    auto put = [this](size_t at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            Text[at + static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, v.Year, 4);
    put(5, v.Month, 2);
    put(8, v.Day, 2);
    put(11, v.Hour, 2);
    put(14, v.Minute, 2);
    put(17, v.Second, 2);
}

std::string FormatDateTime(const TDateTime& v) {
    return std::string(TDateText(v).View());
}
