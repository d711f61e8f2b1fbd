#include "package/AppManagerIni.h"

#include "cab/AsciiCase.h"

#include <map>

namespace {

const char kManagerSection[] = "CEAppManager";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Unquote(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

std::vector<std::string> SplitList(std::string_view value, size_t limit) {
    std::vector<std::string> items;
    while (items.size() < limit) {
        const size_t comma = value.find(',');
        const std::string item = Unquote(value.substr(0, comma));
        if (!item.empty()) items.push_back(item);
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
    }
    return items;
}

// Section name (folded) -> key (folded) -> value; the first of a repeated key is kept.
using TSections = std::map<std::string, std::map<std::string, std::string_view>>;

TSections ReadSections(std::string_view text) {
    TSections sections;
    std::map<std::string, std::string_view>* current = nullptr;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            current = close == std::string_view::npos
                          ? nullptr
                          : &sections[UpperCaseAscii(std::string(Trim(line.substr(1, close - 1))))];
            continue;
        }
        const size_t equals = line.find('=');
        if (!current || equals == std::string_view::npos) continue;
        current->emplace(UpperCaseAscii(std::string(Trim(line.substr(0, equals)))),
                         line.substr(equals + 1));
    }
    return sections;
}

std::string_view Value(const std::map<std::string, std::string_view>& keys, const char* key) {
    const auto it = keys.find(key);
    return it == keys.end() ? std::string_view() : it->second;
}

} // namespace

TAppManagerIni ParseAppManagerIni(std::string_view text) {
    TAppManagerIni ini;
    if (text.size() > kMaxIniSize) {
        ini.Error = "the .ini is larger than " + std::to_string(kMaxIniSize >> 10) + " KiB";
        return ini;
    }
    const TSections sections = ReadSections(text);
    const auto manager = sections.find(UpperCaseAscii(kManagerSection));
    if (manager == sections.end()) {
        ini.Error = "no [CEAppManager] section";
        return ini;
    }
    for (const std::string& name :
         SplitList(Value(manager->second, "COMPONENT"), kMaxIniComponents)) {
        const auto section = sections.find(UpperCaseAscii(name));
        if (section == sections.end()) continue;
        TAppManagerComponent& component = ini.Components.emplace_back();
        component.Name = name;
        component.Description = Unquote(Value(section->second, "DESCRIPTION"));
        component.CabFiles = SplitList(Value(section->second, "CABFILES"), kMaxIniCabinets);
    }
    if (ini.Components.empty()) {
        ini.Error = "[CEAppManager] names no component with a section of its own";
        return ini;
    }
    ini.Valid = true;
    return ini;
}

bool LooksLikeAppManagerIni(std::string_view head) {
    const std::string folded = UpperCaseAscii(std::string(head));
    return folded.find("[CEAPPMANAGER]") != std::string::npos;
}
