#include "tools/PackageRun.h"

#include "cab/FileSystem.h"
#include "cab/PlainText.h"
#include "cab/Streams.h"
#include "package/Package.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

using nlohmann::ordered_json;

namespace {

constexpr int kExitNotSetup = 1;
constexpr int kExitFailure = 3;

std::string ContainerJson(const TContainedSetup& setup) {
    ordered_json container = ordered_json::object();
    container["kind"] = ContainerKindName(setup.Kind);
    container["path"] = setup.PathInside;
    container["offset"] = setup.Offset >= 0 ? ordered_json(setup.Offset) : ordered_json();
    container["component"] =
        setup.Component.empty() ? ordered_json() : ordered_json(setup.Component);
    return container.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

// The package's own failure after its setups: why it stopped, or that it held none.
int PackageFailure(const std::string& file, const TPackage& package, TFileOutput& output) {
    if (!package.Error.empty()) {
        const int status = package.Kind == TContainerKind::Installer ? kExitNotSetup : kExitFailure;
        return output.Fail(status, "tessary-info: " + PlainText(file + ": " + package.Error),
                           package.Error);
    }
    if (!package.Setups.empty()) return 0;
    const std::string none = "no setup cabinet in this package";
    return output.Fail(kExitNotSetup, "tessary-info: " + PlainText(file) + ": " + none, none);
}

// The path inside split into folders and a name below DIR, or false when a part would climb
// out (an absolute path, "..", a drive) or is empty.
bool TargetParts(const TContainedSetup& setup, std::vector<std::string>& folders,
                 std::string& name) {
    if (setup.Kind == TContainerKind::Program) {
        name = "cabinet-at-" + std::to_string(setup.Offset) + ".cab";
        return true;
    }
    std::string part;
    std::vector<std::string> parts;
    for (const char c : setup.PathInside + '/') {
        if (c != '/' && c != '\\') {
            part += c;
            continue;
        }
        if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos)
            return false;
        parts.push_back(std::move(part));
        part.clear();
    }
    name = parts.back();
    parts.pop_back();
    folders = std::move(parts);
    return true;
}

bool CopyCabinet(const std::string& from, TSafeFile& to) {
    TFileStream in(from);
    std::vector<uint8_t> buffer(64 << 10);
    for (;;) {
        const int64_t n = in.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
        if (n < 0) return false;
        if (n == 0) return to.Commit(nullptr);
        if (!to.Write(buffer.data(), static_cast<size_t>(n))) return false;
    }
}

} // namespace

int RunPackage(const std::string& file, TFileOutput& output, const TReportCabinet& report) {
    const std::unique_ptr<TPackage> package = OpenPackage(file);
    if (!package->IsContainer()) return -1;
    int worst = 0;
    for (size_t i = 0; i < package->Setups.size(); ++i) {
        const TContainedSetup& setup = package->Setups[i];
        if (i > 0) output.Separate();
        TFileOutput inside = output.Inside(file, PlainText(setup.PathInside), ContainerJson(setup));
        const int status =
            setup.Problem.empty()
                ? report(setup.CabinetPath, inside)
                : inside.Fail(kExitFailure, "tessary-info: " + PlainText(setup.Problem),
                              setup.Problem);
        worst = std::max(worst, status);
    }
    return std::max(worst, PackageFailure(file, *package, output));
}

int ExtractCabinets(const std::string& dir, const std::string& file) {
    const std::unique_ptr<TPackage> package = OpenPackage(file);
    if (!package->IsContainer()) {
        std::cerr << "tessary-info: " << PlainText(file) << ": not a package of setup cabinets\n";
        return kExitNotSetup;
    }
    // DIR itself may be made; below it only the safe writer makes folders.
    if (!dir.empty() && !ForceDirectories(dir)) {
        std::cerr << "tessary-info: "
                  << PlainText("cannot make the folder " + dir + ": " + LastSystemErrorText())
                  << '\n';
        return kExitFailure;
    }
    int status = 0;
    for (const TContainedSetup& setup : package->Setups) {
        std::vector<std::string> folders;
        std::string name;
        if (!setup.Problem.empty()) {
            std::cerr << "tessary-info: " << PlainText(setup.Problem) << '\n';
        } else if (!TargetParts(setup, folders, name)) {
            std::cerr << "tessary-info: refused " << PlainText(setup.PathInside)
                      << ": it would leave " << PlainText(dir) << '\n';
        } else {
            TSafeFile target;
            if (target.Open(dir, folders, name) && CopyCabinet(setup.CabinetPath, target)) continue;
            std::cerr << "tessary-info: "
                      << PlainText(target.Error().empty() ? "cannot write " + name : target.Error())
                      << '\n';
        }
        status = kExitFailure;
    }
    if (!package->Error.empty()) {
        std::cerr << "tessary-info: " << PlainText(file + ": " + package->Error) << '\n';
        status = package->Kind == TContainerKind::Installer && package->Setups.empty()
                     ? kExitNotSetup
                     : kExitFailure;
    }
    return status;
}
