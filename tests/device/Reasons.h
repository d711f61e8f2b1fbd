#pragma once
// Whether a decision's reasons say something, the way the device tests ask it.
#include <string>
#include <vector>

inline bool AnyReasonHas(const std::vector<std::string>& reasons, const std::string& text) {
    for (const std::string& r : reasons)
        if (r.find(text) != std::string::npos) return true;
    return false;
}
