// tessary-info: what a Windows CE setup cabinet holds, on the command line.
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "setup/ExtractAll.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

#include <clocale>
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kExitNotSetup = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

const char kUsage[] = "usage: tessary-info FILE.cab\n"
                      "       tessary-info --json FILE.cab\n"
                      "       tessary-info --entries [--json] FILE.cab\n"
                      "       tessary-info --extract NAME --folder FOLDER --output PATH FILE.cab\n"
                      "       tessary-info --extract-all DIR FILE.cab\n";

const char kNotSetup[] = "Invalid Windows CE Setup file, Tessary cannot read this file.";

struct Options {
    bool Entries = false;
    bool Json = false;
    std::map<std::string, std::string> Values; // --extract, --folder, --output, --extract-all
    std::string File;
};

// False on wrong usage.
bool ParseArguments(const std::vector<std::string>& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--entries")
            o.Entries = true;
        else if (a == "--json")
            o.Json = true;
        else if (a == "--extract" || a == "--folder" || a == "--output" || a == "--extract-all") {
            if (i + 1 >= args.size() || o.Values.count(a)) return false;
            o.Values[a] = args[++i];
        } else if (!a.empty() && a[0] == '-')
            return false;
        else if (o.File.empty())
            o.File = a;
        else
            return false;
    }
    if (o.File.empty()) return false;
    const bool extract = o.Values.count("--extract") > 0;
    const bool extractAll = o.Values.count("--extract-all") > 0;
    if (extract != (o.Values.count("--folder") > 0) || extract != (o.Values.count("--output") > 0))
        return false;
    const int modes = (o.Entries ? 1 : 0) + (extract ? 1 : 0) + (extractAll ? 1 : 0);
    if (modes > 1) return false;
    return !(o.Json && (extract || extractAll));
}

int ListEntries(const std::string& path, bool json) {
    TCABFile cab;
    if (!cab.IsCabinet(path)) {
        std::fprintf(stderr, "%s: not a cabinet file\n", path.c_str());
        return kExitNotSetup;
    }
    cab.CABFile = path;
    cab.ListContents();
    if (json) {
        nlohmann::ordered_json root;
        root["entries"] = EntriesToJson(cab);
        std::cout << root.dump() << '\n';
    } else {
        for (const TCABFileEntry& e : cab.CABFileContents.Items())
            std::cout << e.Name << '\t' << e.Size << '\t' << FormatDateTime(e.Date) << '\n';
    }
    return 0;
}

int Run(const Options& o) {
    if (o.Entries) return ListEntries(o.File, o.Json);

    // The facade's load identifies the cabinet itself; its Format tells whether it was a setup.
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    // A binary descriptor that fails part way still shows what was decoded.
    (void)setup.LoadSetup(o.File, std::string(), false);
    if (setup.Format == kFormatNone) {
        std::fprintf(stderr, "%s\n", kNotSetup);
        return kExitNotSetup;
    }

    if (const auto it = o.Values.find("--extract"); it != o.Values.end()) {
        const std::string& output = o.Values.at("--output");
        const TExtractResult r =
            setup.ExtractFileChecked(it->second, o.Values.at("--folder"), output);
        switch (r.Outcome) {
        case TExtractOutcome::Extracted:
            return 0;
        case TExtractOutcome::NotFound:
            std::fprintf(stderr, "tessary-info: no file %s in folder %s\n", it->second.c_str(),
                         o.Values.at("--folder").c_str());
            return kExitFailure;
        case TExtractOutcome::Failed:
            std::fprintf(stderr, "tessary-info: could not write %s\n", output.c_str());
            return kExitFailure;
        case TExtractOutcome::Exception:
            std::fprintf(stderr, "tessary-info: %s\n", r.Message.c_str());
            return kExitFailure;
        }
    }
    if (const auto it = o.Values.find("--extract-all"); it != o.Values.end()) {
        const TExtractAllReport report = ExtractAllFiles(setup, it->second);
        for (const TExtractAllIssue& issue : report.Refused)
            std::cerr << ExtractAllIssueText(issue, it->second) << '\n';
        return report.Refused.empty() ? 0 : kExitFailure;
    }
    if (o.Json) {
        std::cout << SetupToJson(setup, cab).dump() << '\n';
        return 0;
    }
    WriteTextReport(std::cout, setup, cab);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // JSON and the entry listing must not change with the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    try {
        Options options;
        if (!ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options)) {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessary-info: %s\n", e.what());
        return kExitFailure;
    } catch (...) {
        std::fprintf(stderr, "tessary-info: unknown error\n");
        return kExitFailure;
    }
}
