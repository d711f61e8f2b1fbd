// tessary-info: what a Windows CE setup cabinet holds, on the command line.
#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "compare/Comparison.h"
#include "inspection/HtmlReport.h"
#include "package/Package.h"
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
#include "tools/Heap.h"
#include "tools/Inventory.h"
#include "tools/Json.h"
#include "tools/PackageRun.h"
#include "tools/ProgramsReport.h"
#include "tools/RulesReport.h"
#include "tools/Sarif.h"
#include "tools/SetupDocument.h"
#include "tools/TextReport.h"

#include "audit/Baseline.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <exception>
#include <fstream>
#include <future>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>
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
// --audit --strict or --fail-on: a finding that grave and not accepted, for scripts that gate
// installers.
constexpr int kExitWarnings = 4;

// What the audit of every file shares: the baseline, the threshold, and what the runs gather
// for the outputs written after the last file (SARIF, the baseline to edit).
struct TAuditContext {
    std::optional<TBaseline> Baseline;
    std::string Today; // "YYYY-MM-DD" UTC, for the baseline's expiry dates
    std::optional<TSeverity> FailOn;
    std::vector<TSarifRun> SarifRuns;
    std::vector<std::pair<TCabinetIdentity, std::vector<TFinding>>> Written;
    const device::TDeviceProfile* Profile = nullptr; // --device, for every file
    std::string HtmlFailure;                         // why --html could not be written
    // The cabinet's hash, read beside the audit of the same setup: reading every byte of a
    // large cabinet costs about as much as the audit itself.
    std::future<TCabinetIdentity> Identity;
};

// Whether the outputs asked for name the cabinet by its hash.
bool NeedsIdentity(const Options& o, const TAuditContext& context) {
    return o.Audit && (context.Baseline || o.Sarif || o.Values.count("--html") ||
                       o.Values.count("--write-baseline"));
}

// --html FILE: written whole or not at all.
void WriteHtml(const Options& o, const std::string& html, std::string& failure) {
    const TWriteResult written = WriteFileSafely(o.Values.at("--html"), html);
    if (!written.Ok) failure = written.Message;
}

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
    if (signature.Verdict != TSignatureVerdict::NotSigned) {
        // Whether the setup adds its own signer to the device's stores belongs to the answer.
        TTrustContext context;
        try {
            cab.CABFile = path;
            cab.ListContents();
            context = provisioning::CabinetTrustContext(cab);
        } catch (const std::exception&) {
            // A cabinet that cannot be listed still has its signature's statement.
        }
        output.Text() << PlainText(BuildTrustStatement(signature, context).Line) << '\n';
    }
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

// With --device, a refused install fails --strict and --fail-on as a Warning does.
int AuditExit(const TAuditContext& context, const std::vector<TFinding>& findings,
              const device::TDeviceDecision* decision) {
    if (!context.FailOn) return 0;
    const bool refused = decision && DecisionFailsStrict(*decision);
    return AnyUnacceptedAtLeast(findings, *context.FailOn) || refused ? kExitWarnings : 0;
}

// The decision for the loaded setup on the device, when --device names one.
std::optional<device::TDeviceDecision> DecideDevice(const device::TDeviceProfile* profile,
                                                    TSetupDocument& document,
                                                    const TCabinetSignature& signature,
                                                    const std::vector<TProgramRow>* programs) {
    if (!profile) return std::nullopt;
    device::TDecisionInput input;
    input.Signature = &signature;
    input.Provisioning = document.Get();
    input.Programs = programs;
    return device::DecideForDevice(*profile, input);
}

// The audit's findings with the baseline applied, kept for the outputs of the whole run; with a
// device the document it read serves them too.
std::vector<TFinding> Findings(const Options& o, TAuditContext& context, TCESetup& setup,
                               TCABFile& cab, TCabinetLook& look,
                               const std::vector<TProgramRow>& programs,
                               const TCabinetSignature& signature, TSetupDocument& document,
                               const device::TDeviceDecision* decision = nullptr) {
    std::vector<TFinding> findings =
        AuditCabinet(setup, cab, &programs, signature, document.Get(), &look);
    const bool html = o.Values.count("--html") > 0;
    const TCabinetIdentity cabinet =
        context.Identity.valid() ? context.Identity.get() : TCabinetIdentity();
    if (context.Baseline) ApplyBaseline(*context.Baseline, cabinet, context.Today, findings);
    if (o.Values.count("--write-baseline")) context.Written.emplace_back(cabinet, findings);
    if (o.Sarif) {
        // A package holds several setups: each is a run of its own.
        if (context.SarifRuns.back().Audited) {
            TSarifRun& next = context.SarifRuns.emplace_back();
            next.Path = context.SarifRuns[context.SarifRuns.size() - 2].Path + " : " + cabinet.Name;
        }
        TSarifRun& run = context.SarifRuns.back();
        run.Cabinet = cabinet;
        run.Audited = true;
        run.Findings = findings;
        if (decision) run.Properties["device"] = DeviceToJson(*decision);
    }
    if (html)
        WriteHtml(
            o,
            AuditHtml(setup, cab, document.Get(), signature, programs, findings, cabinet, decision),
            context.HtmlFailure);
    return findings;
}

// images: what the listing's run read of every body, by listing index, or null.
int RunOnSetup(const Options& o, TAuditContext& context, TCESetup& setup, TCABFile& cab,
               TCabinetLook& look, TFileOutput& output, const std::vector<TEntryImage>* images) {
    const device::TDeviceProfile* profile = context.Profile;
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
    if (NeedsIdentity(o, context))
        context.Identity = std::async(std::launch::async, CabinetIdentity, cab.CABFile);
    // Verified once: the report's rows and the audit's rules read the same verdict.
    const TCabinetSignature signature = VerifyCabinetSignature(cab.CABFile);
    // Read when first asked for, once for every output of this setup.
    TSetupDocument document(cab, look);
    if (o.Sarif) {
        const std::vector<TProgramRow> programs =
            AnalysePrograms(setup, cab, cab.CABFileContents, kProgramReadCap, {}, images);
        const std::optional<device::TDeviceDecision> decision =
            DecideDevice(profile, document, signature, &programs);
        const device::TDeviceDecision* decided = decision ? &*decision : nullptr;
        return AuditExit(
            context, Findings(o, context, setup, cab, look, programs, signature, document, decided),
            decided);
    }
    if (o.Json) {
        std::vector<TFinding> findings;
        std::optional<device::TDeviceDecision> decision;
        output.Json([&](TJsonWriter& out) {
            WriteSetupJson(out, setup, cab, signature, document);
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
                AnalysePrograms(setup, cab, cab.CABFileContents, kProgramReadCap, {}, images);
            out.Key("binaries");
            WriteProgramsJson(out, programs);
            decision = DecideDevice(profile, document, signature, &programs);
            findings = Findings(o, context, setup, cab, look, programs, signature, document,
                                decision ? &*decision : nullptr);
            out.Key("findings");
            WriteFindingsJson(out, findings);
            if (decision) {
                out.Key("device");
                out.Raw(DeviceToJson(*decision).dump(
                    -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
            }
        });
        return AuditExit(context, findings, decision ? &*decision : nullptr);
    }
    if (!o.Audit) {
        if (const auto decision = DecideDevice(profile, document, signature, nullptr))
            WriteDeviceReport(output.Text(), *decision);
        WriteTextReport(output.Text(), setup, cab, signature, document);
        return 0;
    }
    // With a device the programs are read first: the decision that leads the report needs them.
    if (!profile) WriteTextReport(output.Text(), setup, cab, signature, document);
    const std::vector<TProgramRow> programs =
        AnalysePrograms(setup, cab, cab.CABFileContents, kProgramReadCap, {}, images);
    const std::optional<device::TDeviceDecision> decision =
        DecideDevice(profile, document, signature, &programs);
    if (decision) {
        WriteDeviceReport(output.Text(), *decision);
        WriteTextReport(output.Text(), setup, cab, signature, document);
    }
    WriteProgramsReport(output.Text(), programs, decision ? &*decision : nullptr);
    WriteSignatureReport(output.Text(), signature, document.TrustContext());
    const std::vector<TFinding> findings =
        Findings(o, context, setup, cab, look, programs, signature, document,
                 decision ? &*decision : nullptr);
    WriteFindingsReport(output.Text(), findings);
    return AuditExit(context, findings, decision ? &*decision : nullptr);
}

// inPackage: file is a setup a package holds, which is not opened as a package again.
int Run(const Options& o, TAuditContext& context, const std::string& file, TFileOutput& output,
        bool inPackage = false) {
    // Said plainly, before anything reads it: a FIFO or a device would block or never end.
    if (const std::string problem = RegularFileProblem(file); !problem.empty())
        return output.Fail(kExitFailure,
                           "tessary-info: cannot open " + PlainText(file) + ": " + problem,
                           "cannot open: " + problem);
    if (o.Entries || o.Verify) {
        // A file that is no cabinet may hold some: each is listed or verified under its heading.
        if (!inPackage && !TCABFile().IsCabinet(file)) {
            const int status =
                RunPackage(file, output, [&](const std::string& cabinet, TFileOutput& inside) {
                    return Run(o, context, cabinet, inside, true);
                });
            if (status >= 0) return status;
        }
        return o.Entries ? ListEntries(file, o.Json, output) : VerifySignature(file, output);
    }
    if (const auto it = o.Values.find("--extract-cabinets"); it != o.Values.end())
        return ExtractCabinets(it->second, file);

    // The facade's load identifies the cabinet itself; its Format tells whether it was a setup.
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    // One look serves the load and the report: one listing, each descriptor decompressed once.
    TCabinetLook look(file);
    // An audit reads every body: the listing's own run reads them as the programs are read, so
    // that the load and the programs take the cabinet library once. A run that stops part way
    // leaves the look as new: the load lists again, and the programs reader reads what this
    // run did not finish.
    TEntryImageReader bodies;
    const bool readEvery =
        o.Audit && look.ListAndRead([&](size_t index, const TCABFileEntry& entry) {
            return bodies.Open(index, entry);
        });
    // A descriptor that fails part way still shows what was decoded, then says so.
    const bool loaded = setup.LoadSetup(file, std::string(), false, look);
    if (setup.Format == kFormatNone) {
        // Not a setup: perhaps what users receive around setups. Extraction takes one setup.
        const bool extracting = o.Values.count("--extract") || o.Values.count("--extract-all");
        if (!inPackage && !extracting) {
            const int status =
                RunPackage(file, output, [&](const std::string& cabinet, TFileOutput& inside) {
                    return Run(o, context, cabinet, inside, true);
                });
            if (status >= 0) return status;
        }
        return output.Fail(kExitNotSetup, kNotSetup, kNotSetup);
    }
    // After a whole run the load's listing is that run's own.
    const std::vector<TEntryImage> images = bodies.Take(cab.CABFileContents, !readEvery);
    const int result = RunOnSetup(o, context, setup, cab, look, output, &images);
    if (loaded) return result;
    const std::string damaged =
        "the setup descriptor is damaged" +
        (setup.DescriptorError.empty() ? std::string() : ": " + setup.DescriptorError) +
        "; what was decoded before it is shown";
    return output.Fail(kExitFailure, "tessary-info: " + PlainText(damaged), damaged);
}

// One file's run; a failure of this file does not stop the others.
int RunGuarded(const Options& o, TAuditContext& context, const std::string& file,
               TFileOutput& output) {
    try {
        return Run(o, context, file, output);
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
    const TCabinetComparison run = CompareCabinets(o.Files[0], o.Files[1]);
    if (run.Result.Status != TFactsStatus::Read) {
        PrintError(run.Result.Message);
        return run.Result.Status == TFactsStatus::NotSetup ? kExitNotSetup : kExitFailure;
    }
    const TComparison& comparison = run.Comparison;
    if (o.Values.count("--html")) {
        std::string failure;
        WriteHtml(o, DiffHtml(comparison, o.Files[0], o.Files[1]), failure);
        if (!failure.empty()) {
            PrintError(failure);
            return kExitFailure;
        }
    }
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
        if (o.Values.count("--into")) return WriteCollectionInventory(o);
        const int status = o.Manifest ? WriteManifest(o.Files[0]) : WriteSbom(o.Files[0]);
        if (status == kExitNotSetup) {
            // One document is one setup: a package's are taken out first.
            const std::unique_ptr<TPackage> package = OpenPackage(o.Files[0]);
            const auto readable = std::count_if(
                package->Setups.begin(), package->Setups.end(),
                [](const TContainedSetup& setup) { return !setup.CabinetPath.empty(); });
            if (readable > 0)
                PrintError(o.Files[0] + " holds " +
                           (readable == 1
                                ? std::string("1 setup: write it out with --extract-cabinets DIR "
                                              "and give that cabinet")
                                : std::to_string(readable) +
                                      " setups: write them out with --extract-cabinets DIR and "
                                      "give one of them"));
        }
        return status;
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return kExitFailure;
}

// The baseline named by --baseline; false with the message printed.
bool ReadBaselineOption(const Options& o, TAuditContext& context) {
    const auto it = o.Values.find("--baseline");
    if (it == o.Values.end()) return true;
    const std::string& path = it->second;
    const std::string problem = RegularFileProblem(path);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (problem.empty() && in) text << in.rdbuf();
    if (!problem.empty() || !in || in.bad()) {
        PrintError("cannot read the baseline " + path + ": " +
                   (problem.empty() ? LastSystemErrorText() : problem));
        return false;
    }
    TBaseline baseline;
    TBaselineError error;
    if (!ParseBaseline(text.str(), baseline, error)) {
        PrintError("baseline " + path + " line " + std::to_string(error.Line) + ": " + error.What);
        return false;
    }
    context.Baseline = std::move(baseline);
    return true;
}

int RunRules(const Options& o) {
    if (o.Man)
        std::cout << RulesManText();
    else if (o.Json)
        std::cout << RulesToJson().dump() << '\n';
    else
        WriteRulesText(std::cout);
    return 0;
}

// Every cabinet's run, then the one SARIF log on standard output. A cabinet that fails is a
// run whose invocation failed, with the message; the message goes to standard error as well.
int RunSarif(const Options& o, TAuditContext& context) {
    int worst = 0;
    for (const std::string& file : o.Files) {
        TSarifRun& run = context.SarifRuns.emplace_back();
        run.Path = file;
        std::ostringstream discarded, errors;
        TFileOutput output(discarded, errors, nullptr, false);
        worst = std::max(worst, RunGuarded(o, context, file, output));
        run.Failure = errors.str();
        while (!run.Failure.empty() && run.Failure.back() == '\n')
            run.Failure.pop_back();
        if (!run.Failure.empty()) std::cerr << errors.str();
    }
    std::cout << SarifLog(context.SarifRuns)
                     .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
    return worst;
}

// status, unless the output could not be written: a full disk must not pass for a finished
// report.
int Flushed(int status) {
    if (std::cout.flush()) return status;
    std::fputs("tessary-info: cannot write the output\n", stderr);
    return kExitFailure;
}

// Every file named (or the SARIF log of them all), then what the run writes at its end; the
// worst status.
int RunFiles(const Options& options, TAuditContext& context) {
    const bool labelled = options.Labelled || options.Files.size() > 1;
    int worst = 0;
    if (options.Sarif) {
        worst = RunSarif(options, context);
    } else {
        for (size_t i = 0; i < options.Files.size(); ++i) {
            const std::string& file = options.Files[i];
            if (labelled && !options.Json && i > 0) std::cout << '\n';
            TFileOutput output(std::cout, std::cerr, labelled ? &file : nullptr, options.Json);
            worst = std::max(worst, RunGuarded(options, context, file, output));
        }
    }
    if (!context.HtmlFailure.empty()) {
        PrintError(context.HtmlFailure);
        worst = std::max(worst, kExitFailure);
    }
    if (const auto it = options.Values.find("--write-baseline"); it != options.Values.end()) {
        std::vector<TBaselineSource> sources;
        for (const auto& [cabinet, findings] : context.Written)
            sources.push_back({&cabinet, &findings});
        const TWriteResult written = WriteFileSafely(it->second, WriteBaselineText(sources));
        if (!written.Ok) {
            PrintError(written.Message);
            worst = std::max(worst, kExitFailure);
        }
    }
    return worst;
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
    // A heap the library keeps as it is only costs time: the run goes on either way.
    (void)GrowHeapInLargeSteps(!CollectionCommand(options));
    if (CollectionCommand(options)) return Flushed(RunCollection(options));
    if (options.Manifest || options.Sbom) return Flushed(WriteInventoryGuarded(options));
    if (options.Rules) return RunRules(options);
    TAuditContext context;
    if (!ReadBaselineOption(options, context)) return kExitUsage;
    context.Today = TodayUtc();
    if (const auto it = options.Values.find("--fail-on"); it != options.Values.end())
        context.FailOn = it->second == "warning"  ? TSeverity::Warning
                         : it->second == "notice" ? TSeverity::Notice
                                                  : TSeverity::Info;
    // --strict is --fail-on warning; given both, the lower threshold holds.
    if (options.Strict && !context.FailOn) context.FailOn = TSeverity::Warning;
    if (options.Diff) return Flushed(RunDiffGuarded(options));
    // The profile is built once for every file; what could not be taken is said once here and
    // stands among the decision's problems, while the rest of the report is still given.
    std::optional<device::TDeviceProfile> profile;
    if (!options.Devices.empty()) {
        profile = device::BuildProfile(options.Devices);
        for (const std::string& problem : profile->Problems)
            PrintError(problem);
        context.Profile = &*profile;
    }
    return Flushed(RunFiles(options, context));
}
