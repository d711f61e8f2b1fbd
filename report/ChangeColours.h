#pragma once
// The text colour of a comparison's row by its change (the icon of its first cell), one fact for
// both windows: added green, removed red, changed blue; none for a row that is no change.
#include "report/Page.h"

#include <cstdint>
#include <optional>

struct TRgb {
    uint8_t Red = 0;
    uint8_t Green = 0;
    uint8_t Blue = 0;
};

[[nodiscard]] inline std::optional<TRgb> ChangeColour(TIconKind icon) {
    switch (icon) {
    case TIconKind::Added:
        return TRgb{0, 120, 40};
    case TIconKind::Removed:
        return TRgb{170, 30, 20};
    case TIconKind::Changed:
        return TRgb{30, 80, 170};
    default:
        return std::nullopt;
    }
}
