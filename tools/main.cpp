// tessary-info: what a Windows CE setup cabinet holds, on the command line.
#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/PlainText.h"
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
    // An empty folder would silently mean the working folder.
    if (extractAll && o.Values.at("--extract-all").empty()) return false;
    return !(o.Json && (extract || extractAll));
}

void PrintError(const std::string& text) {
    std::fprintf(stderr, "tessary-info: %s\n", PlainText(text).c_str());
}

int ListEntries(const std::string& path, bool json) {
    TCABFile cab;
    if (!cab.IsCabinet(path)) {
        std::fprintf(stderr, "%s: not a cabinet file\n", PlainText(path).c_str());
        return kExitNotSetup;
    }
    cab.CABFile = path;
    // An entry with an invalid date is listed all the same; the error names it afterwards.
    std::string dateError;
    try {
        cab.ListContents();
    } catch (const EConvertError& e) {
        dateError = e.what();
    }
    if (json) {
        nlohmann::ordered_json root;
        root["entries"] = EntriesToJson(cab);
        std::cout << root.dump() << '\n';
    } else {
        for (const TCABFileEntry& e : cab.CABFileContents.Items())
            std::cout << PlainText(e.Name) << '\t' << e.Size << '\t'
                      << (e.Date.Year != 0 ? FormatDateTime(e.Date) : "invalid date") << '\n';
    }
    if (dateError.empty()) return 0;
    PrintError(dateError);
    return kExitFailure;
}

int RunOnSetup(const Options& o, TCESetup& setup, TCABFile& cab) {
    if (const auto it = o.Values.find("--extract"); it != o.Values.end()) {
        const std::string& output = o.Values.at("--output");
        const TExtractResult r =
            setup.ExtractFileChecked(it->second, o.Values.at("--folder"), output);
        switch (r.Outcome) {
        case TExtractOutcome::Extracted:
            return 0;
        case TExtractOutcome::NotFound:
            PrintError("no file " + it->second + " in folder " + o.Values.at("--folder"));
            return kExitFailure;
        case TExtractOutcome::Failed:
            PrintError(r.Message.empty() ? "could not write " + output : r.Message);
            return kExitFailure;
        case TExtractOutcome::Exception:
            PrintError(r.Message);
            return kExitFailure;
        }
    }
    if (const auto it = o.Values.find("--extract-all"); it != o.Values.end()) {
        const TExtractAllReport report = ExtractAllFiles(setup, it->second);
        for (const TExtractAllIssue& issue : report.Refused)
            std::cerr << PlainText(ExtractAllIssueText(issue, it->second)) << '\n';
        return report.Refused.empty() ? 0 : kExitFailure;
    }
    if (o.Json) {
        std::cout << SetupToJson(setup, cab).dump() << '\n';
        return 0;
    }
    WriteTextReport(std::cout, setup, cab);
    return 0;
}

int Run(const Options& o) {
    // Said plainly, before anything reads it: a FIFO or a device would block or never end.
    if (const std::string problem = RegularFileProblem(o.File); !problem.empty()) {
        PrintError("cannot open " + o.File + ": " + problem);
        return kExitFailure;
    }
    if (o.Entries) return ListEntries(o.File, o.Json);

    // The facade's load identifies the cabinet itself; its Format tells whether it was a setup.
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    // A descriptor that fails part way still shows what was decoded, then says so.
    const bool loaded = setup.LoadSetup(o.File, std::string(), false);
    if (setup.Format == kFormatNone) {
        std::fprintf(stderr, "%s\n", kNotSetup);
        return kExitNotSetup;
    }
    const int result = RunOnSetup(o, setup, cab);
    if (loaded) return result;
    PrintError("the setup descriptor is damaged" +
               (setup.DescriptorError.empty() ? std::string() : ": " + setup.DescriptorError) +
               "; what was decoded before it is shown");
    return kExitFailure;
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
    } catch (const std::bad_alloc&) {
        PrintError("out of memory");
        return kExitFailure;
    } catch (const std::exception& e) {
        PrintError(e.what());
        return kExitFailure;
    } catch (...) {
        std::fprintf(stderr, "tessary-info: unknown error\n");
        return kExitFailure;
    }
}
