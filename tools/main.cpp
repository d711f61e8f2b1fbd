// tessary-info: what a Windows CE setup cabinet holds, on the command line.
#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "compare/Comparison.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"
#include "setup/ExtractAll.h"
#include "signature/Signature.h"
#include "tools/AuditReport.h"
#include "tools/CollectionRun.h"
#include "tools/CommandLine.h"
#include "tools/DeviceReport.h"
#include "tools/DiffReport.h"
#include "tools/FileOutput.h"
#include "tools/Inventory.h"
#include "tools/Json.h"
#include "tools/PackageRun.h"
#include "tools/ProgramsReport.h"
#include "tools/TextReport.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitNotSetup = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;
// --verify: scripts can refuse unsigned or changed installers.
constexpr int kExitNotSigned = 4;
// --diff: the two setups differ.
constexpr int kExitDifferent = 4;
constexpr int kExitSignatureBad = 5;
// --audit --strict: a finding of severity Warning, for scripts that gate installers.
constexpr int kExitWarnings = 4;

const char kNotSetup[] = "Invalid Windows CE Setup file, Tessary cannot read this file.";

void PrintError(const std::string& text) {
    std::fprintf(stderr, "tessary-info: %s\n", PlainText(text).c_str());
}

int ListEntries(const std::string& path, bool json, TFileOutput& output) {
    TCABFile cab;
    if (!cab.IsCabinet(path))
        return output.Fail(kExitNotSetup, PlainText(path) + ": not a cabinet file",
                           "not a cabinet file");
    cab.CABFile = path;
    // An entry with an invalid date is listed all the same; the error names it afterwards.
    std::string dateError;
    try {
        cab.ListContents();
    } catch (const EConvertError& e) {
        dateError = e.what();
    }
    // JSON gives one document per file: the error alone, as a listing that failed.
    if (json && !dateError.empty())
        return output.Fail(kExitFailure, "tessary-info: " + PlainText(dateError), dateError);
    if (json) {
        output.Json([&](TJsonWriter& out) { WriteEntriesJson(out, cab.CABFileContents); });
    } else {
        std::ostream& out = output.Text();
        for (const TCABFileEntry& e : cab.CABFileContents.Items())
            out << PlainText(e.Name) << '\t' << e.Size << '\t'
                << (e.Date.Year != 0 ? FormatDateTime(e.Date) : "invalid date") << '\n';
    }
    if (dateError.empty()) return 0;
    return output.Fail(kExitFailure, "tessary-info: " + PlainText(dateError), dateError);
}

int VerifySignature(const std::string& path, TFileOutput& output) {
    TCABFile cab;
    if (!cab.IsCabinet(path))
        return output.Fail(kExitNotSetup, PlainText(path) + ": not a cabinet file",
                           "not a cabinet file");
    const TCabinetSignature signature = VerifyCabinetSignature(path);
    // The signer's name is the publisher's text: it must not forge a second verdict line.
    output.Text() << PlainText(signature.Summary()) << '\n';
    switch (signature.Verdict) {
    case TSignatureVerdict::Intact:
        return 0;
    case TSignatureVerdict::NotSigned:
        return kExitNotSigned;
    case TSignatureVerdict::Modified:
    case TSignatureVerdict::Unreadable:
        return kExitSignatureBad;
    }
    return kExitSignatureBad;
}

int AuditExit(const Options& o, const std::vector<TFinding>& findings,
              const device::TDeviceDecision* decision) {
    if (!o.Strict) return 0;
    const bool refused = decision && DecisionFailsStrict(*decision);
    return CountFindings(findings).Warnings > 0 || refused ? kExitWarnings : 0;
}

// The setup's "_setup.xml" from the load's look, read once for the decision and the audit.
struct TSetupDocument {
    provisioning::TProvisioningTree Tree;
    bool Present = false;
    [[nodiscard]] const provisioning::TProvisioningTree* Get() const {
        return Present ? &Tree : nullptr;
    }
};

// The decision for the loaded setup on the device, when --device names one.
std::optional<device::TDeviceDecision> DecideDevice(const device::TDeviceProfile* profile,
                                                    const TSetupDocument& document,
                                                    const TCabinetSignature& signature,
                                                    const std::vector<TProgramRow>* programs) {
    if (!profile) return std::nullopt;
    device::TDecisionInput input;
    input.Signature = &signature;
    input.Provisioning = document.Get();
    input.Programs = programs;
    return device::DecideForDevice(*profile, input);
}

// The findings; with a device the document it read serves them too.
std::vector<TFinding> Findings(const device::TDeviceProfile* profile, TCESetup& setup,
                               TCABFile& cab, TCabinetLook& look,
                               const std::vector<TProgramRow>& programs,
                               const TCabinetSignature& signature, const TSetupDocument& document) {
    if (!profile) return AuditCabinet(setup, cab, &programs, signature, &look);
    return AuditCabinet(setup, cab, &programs, signature, document.Get(), &look);
}

int RunOnSetup(const Options& o, const device::TDeviceProfile* profile, TCESetup& setup,
               TCABFile& cab, TCabinetLook& look, TFileOutput& output) {
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
    // Verified once: the report's rows and the audit's rules read the same verdict.
    const TCabinetSignature signature = VerifyCabinetSignature(cab.CABFile);
    TSetupDocument document;
    if (profile)
        document.Present = provisioning::ReadCabinetProvisioning(cab, document.Tree, &look);
    if (o.Json) {
        std::vector<TFinding> findings;
        std::optional<device::TDeviceDecision> decision;
        output.Json([&](TJsonWriter& out) {
            WriteSetupJson(out, setup, cab, look, signature);
            if (!o.Audit) {
                decision = DecideDevice(profile, document, signature, nullptr);
                if (decision) {
                    out.Key("device");
                    out.Raw(DeviceToJson(*decision).dump(
                        -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
                }
                return;
            }
            // The report's listing is the load's; the audit reads the files after it.
            const std::vector<TProgramRow> programs =
                AnalysePrograms(setup, cab, cab.CABFileContents);
            out.Key("binaries");
            WriteProgramsJson(out, programs);
            findings = Findings(profile, setup, cab, look, programs, signature, document);
            out.Key("findings");
            WriteFindingsJson(out, findings);
            decision = DecideDevice(profile, document, signature, &programs);
            if (decision) {
                out.Key("device");
                out.Raw(DeviceToJson(*decision).dump(
                    -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
            }
        });
        return AuditExit(o, findings, decision ? &*decision : nullptr);
    }
    if (!o.Audit) {
        if (const auto decision = DecideDevice(profile, document, signature, nullptr))
            WriteDeviceReport(output.Text(), *decision);
        WriteTextReport(output.Text(), setup, cab, look, signature);
        return 0;
    }
    // With a device the programs are read first: the decision that leads the report needs them.
    if (!profile) WriteTextReport(output.Text(), setup, cab, look, signature);
    const std::vector<TProgramRow> programs = AnalysePrograms(setup, cab, cab.CABFileContents);
    const std::optional<device::TDeviceDecision> decision =
        DecideDevice(profile, document, signature, &programs);
    if (decision) {
        WriteDeviceReport(output.Text(), *decision);
        WriteTextReport(output.Text(), setup, cab, look, signature);
    }
    WriteProgramsReport(output.Text(), programs, decision ? &*decision : nullptr);
    const std::vector<TFinding> findings =
        Findings(profile, setup, cab, look, programs, signature, document);
    WriteFindingsReport(output.Text(), findings);
    return AuditExit(o, findings, decision ? &*decision : nullptr);
}

// inPackage: file is a setup a package holds, which is not opened as a package again.
int Run(const Options& o, const device::TDeviceProfile* profile, const std::string& file,
        TFileOutput& output, bool inPackage = false) {
    // Said plainly, before anything reads it: a FIFO or a device would block or never end.
    if (const std::string problem = RegularFileProblem(file); !problem.empty())
        return output.Fail(kExitFailure,
                           "tessary-info: cannot open " + PlainText(file) + ": " + problem,
                           "cannot open: " + problem);
    if (o.Entries) return ListEntries(file, o.Json, output);
    if (o.Verify) return VerifySignature(file, output);
    if (const auto it = o.Values.find("--extract-cabinets"); it != o.Values.end())
        return ExtractCabinets(it->second, file);

    // The facade's load identifies the cabinet itself; its Format tells whether it was a setup.
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    // One look serves the load and the report: one listing, each descriptor decompressed once.
    TCabinetLook look(file);
    // A descriptor that fails part way still shows what was decoded, then says so.
    const bool loaded = setup.LoadSetup(file, std::string(), false, look);
    if (setup.Format == kFormatNone) {
        // Not a setup: perhaps what users receive around setups. Extraction takes one setup.
        const bool extracting = o.Values.count("--extract") || o.Values.count("--extract-all");
        if (!inPackage && !extracting) {
            const int status =
                RunPackage(file, output, [&](const std::string& cabinet, TFileOutput& inside) {
                    return Run(o, profile, cabinet, inside, true);
                });
            if (status >= 0) return status;
        }
        return output.Fail(kExitNotSetup, kNotSetup, kNotSetup);
    }
    const int result = RunOnSetup(o, profile, setup, cab, look, output);
    if (loaded) return result;
    const std::string damaged =
        "the setup descriptor is damaged" +
        (setup.DescriptorError.empty() ? std::string() : ": " + setup.DescriptorError) +
        "; what was decoded before it is shown";
    return output.Fail(kExitFailure, "tessary-info: " + PlainText(damaged), damaged);
}

// One file's run; a failure of this file does not stop the others.
int RunGuarded(const Options& o, const device::TDeviceProfile* profile, const std::string& file,
               TFileOutput& output) {
    try {
        return Run(o, profile, file, output);
    } catch (const std::bad_alloc&) {
        return output.Fail(kExitFailure, "tessary-info: out of memory", "out of memory");
    } catch (const std::exception& e) {
        return output.Fail(kExitFailure, "tessary-info: " + PlainText(e.what()), e.what());
    } catch (...) {
        return output.Fail(kExitFailure, "tessary-info: unknown error", "unknown error");
    }
}

// Both cabinets are read before anything is printed, so a failure leaves no half comparison;
// its message names the cabinet.
int RunDiff(const Options& o) {
    TSetupFacts facts[2];
    const TFactsResult read = ReadBothSetupFacts(o.Files[0], o.Files[1], facts);
    if (read.Status != TFactsStatus::Read) {
        PrintError(read.Message);
        return read.Status == TFactsStatus::NotSetup ? kExitNotSetup : kExitFailure;
    }
    const TComparison comparison = CompareSetups(facts[0], facts[1]);
    if (o.Json) {
        TJsonWriter out;
        WriteDiffJson(out, comparison, o.Files[0], o.Files[1]);
        out.Put('\n');
        std::cout.write(out.Text().data(), static_cast<std::streamsize>(out.Text().size()));
    } else
        WriteDiffReport(std::cout, comparison, o.Files[0], o.Files[1]);
    return comparison.Same() ? 0 : kExitDifferent;
}

int RunDiffGuarded(const Options& o) {
    try {
        return RunDiff(o);
    } catch (const std::bad_alloc&) {
        PrintError("out of memory");
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return kExitFailure;
}

// --manifest or --sbom of one file: the failure said, never thrown.
int WriteInventoryGuarded(const Options& o) {
    try {
        return o.Manifest ? WriteManifest(o.Files[0]) : WriteSbom(o.Files[0]);
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // JSON and the entry listing must not change with the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    Options options;
    switch (ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options)) {
    case TParseResult::Help:
        std::cout << HelpText();
        return 0;
    case TParseResult::Version:
        std::cout << VersionText() << '\n';
        return 0;
    case TParseResult::Usage:
        std::fputs(UsageText(), stderr);
        return kExitUsage;
    case TParseResult::Run:
        break;
    }
    if (CollectionCommand(options) || options.Manifest || options.Sbom) {
        const int status =
            CollectionCommand(options) ? RunCollection(options) : WriteInventoryGuarded(options);
        if (!std::cout.flush()) {
            std::fputs("tessary-info: cannot write the output\n", stderr);
            return kExitFailure;
        }
        return status;
    }
    if (options.Diff) {
        const int status = RunDiffGuarded(options);
        if (!std::cout.flush()) {
            std::fputs("tessary-info: cannot write the output\n", stderr);
            return kExitFailure;
        }
        return status;
    }
    // The profile is built once for every file; what could not be taken is said once here and
    // stands among the decision's problems, while the rest of the report is still given.
    std::optional<device::TDeviceProfile> profile;
    if (!options.Devices.empty()) {
        profile = device::BuildProfile(options.Devices);
        for (const std::string& problem : profile->Problems)
            PrintError(problem);
    }
    const bool labelled = options.Labelled || options.Files.size() > 1;
    int worst = 0;
    for (size_t i = 0; i < options.Files.size(); ++i) {
        const std::string& file = options.Files[i];
        if (labelled && !options.Json && i > 0) std::cout << '\n';
        TFileOutput output(std::cout, std::cerr, labelled ? &file : nullptr, options.Json);
        worst = std::max(worst, RunGuarded(options, profile ? &*profile : nullptr, file, output));
    }
    // A full disk must not pass for a finished inventory.
    if (!std::cout.flush()) {
        std::fputs("tessary-info: cannot write the output\n", stderr);
        return kExitFailure;
    }
    return worst;
}
