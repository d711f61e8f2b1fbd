// tessary-info: what a Windows CE setup cabinet holds, on the command line.
#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "tools/Json.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitNotCabinet = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

const char kUsage[] = "usage: tessary-info --entries [--json] FILE.cab\n";

int ListEntries(const std::string& path, bool json) {
    TCABFile cab;
    if (!cab.IsCabinet(path)) {
        std::fprintf(stderr, "%s: not a cabinet file\n", path.c_str());
        return kExitNotCabinet;
    }
    cab.CABFile = path;
    cab.ListContents();
    if (json) {
        nlohmann::ordered_json entries = nlohmann::ordered_json::array();
        for (const TCABFileEntry& e : cab.CABFileContents.Items())
            entries.push_back({{"Name", Latin1ToUtf8(e.Name)},
                               {"Size", e.Size},
                               {"Date", FormatDateTime(e.Date)}});
        nlohmann::ordered_json root;
        root["entries"] = std::move(entries);
        std::cout << root.dump(2) << '\n';
    } else {
        for (const TCABFileEntry& e : cab.CABFileContents.Items())
            std::cout << e.Name << '\t' << e.Size << '\t' << FormatDateTime(e.Date) << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        bool entries = false, json = false;
        std::string file;
        for (const std::string& a : args) {
            if (a == "--entries")
                entries = true;
            else if (a == "--json")
                json = true;
            else if (!a.empty() && a[0] == '-') {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            } else if (file.empty())
                file = a;
            else {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            }
        }
        if (!entries || file.empty()) {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
        return ListEntries(file, json);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessary-info: %s\n", e.what());
        return kExitFailure;
    }
}
