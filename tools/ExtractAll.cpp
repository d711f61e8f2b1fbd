#include "tools/ExtractAll.h"

#include "cab/FileSystem.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <string_view>

namespace {

bool IsPlainComponent(std::string_view part) {
    if (part.empty() || part == "." || part == "..") return false;
    return part.find(':') == std::string_view::npos;
}

std::string_view WithoutMacroSigns(std::string_view part) {
    if (part.size() >= 2 && part.front() == '%' && part.back() == '%')
        return part.substr(1, part.size() - 2);
    return part;
}

} // namespace

std::optional<std::string> DeviceTargetPath(const std::string& dir, const std::string& deviceFolder,
                                            const std::string& name) {
    std::string path = dir.empty() ? std::string(".") : dir;
    // Both separators split: "/" would separate on the desktop even though the device keeps it.
    size_t start = 0;
    while (start <= deviceFolder.size()) {
        size_t end = deviceFolder.find_first_of("\\/", start);
        if (end == std::string::npos) end = deviceFolder.size();
        const std::string_view part =
            WithoutMacroSigns(std::string_view(deviceFolder).substr(start, end - start));
        start = end + 1;
        // A leading or doubled separator adds nothing: the device's root maps onto dir.
        if (part.empty()) continue;
        if (!IsPlainComponent(part)) return std::nullopt;
        path += kPathSeparator;
        path += part;
    }
    if (!IsPlainComponent(name) || name.find_first_of("\\/") != std::string::npos)
        return std::nullopt;
    return path + kPathSeparator + name;
}

bool ExtractAllFiles(TCESetup& setup, const std::string& dir, std::ostream& err) {
    bool all = true;
    for (int i = 0; i < setup.FileCount(); ++i) {
        TCECAB_File file;
        setup.GetFile(i, file);
        const std::string folder = IncludeBackslash(file.Dir);
        const auto target = DeviceTargetPath(dir, file.Dir, file.Name);
        if (!target) {
            err << "refused: " << folder << file.Name << " would be written outside " << dir
                << '\n';
            all = false;
            continue;
        }
        ForceDirectories(FolderPart(*target));
        const TExtractResult result = setup.ExtractFileChecked(file.Name, folder, *target);
        switch (result.Outcome) {
        case TExtractOutcome::Extracted:
            break;
        case TExtractOutcome::NotFound:
            err << "not in the cabinet: " << folder << file.Name << '\n';
            all = false;
            break;
        case TExtractOutcome::Failed:
            err << "could not write " << *target << '\n';
            all = false;
            break;
        case TExtractOutcome::Exception:
            err << "could not extract " << folder << file.Name << ": " << result.Message << '\n';
            all = false;
            break;
        }
    }
    return all;
}
