#include "setup/ExtractAll.h"

#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

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

std::string JoinTarget(const std::string& dir, const std::vector<std::string>& parts) {
    std::string path = dir.empty() ? std::string(".") : dir;
    size_t length = path.size();
    for (const std::string& part : parts)
        length += part.size() + 1;
    path.reserve(length);
    for (const std::string& part : parts) {
        path += kPathSeparator;
        path += part;
    }
    return path;
}

// The user pressed Cancel: ends the cabinet run from inside its callback.
struct TCancelled {};

// One file to write: a row of the setup and where it goes.
struct TPlanned {
    std::string DeviceFile;
    std::string Target;
    std::vector<std::string> Parts; // folders below dir, then the name
    bool Settled = false;           // written, or its failure already reported
};

// Every row planned for an entry and not settled, refused for one reason.
void RefuseUnsettled(const std::vector<std::vector<size_t>>& rowsOfEntry,
                     const std::vector<TPlanned>& planned, const std::string& why,
                     TExtractAllProblem problem, TExtractAllReport& report) {
    for (const std::vector<size_t>& rows : rowsOfEntry)
        for (const size_t row : rows)
            if (!planned[row].Settled)
                report.Refused.push_back(
                    {planned[row].DeviceFile, planned[row].Target, why, problem});
}

// Writes one entry to every row that takes it (rows sharing an id share the entry). A file
// that cannot be written is reported and dropped; the others and the run go on.
class TRowsSink : public TEntrySink {
  public:
    TRowsSink(TExtractAllReport& report) : FReport(report) {}
    void Add(TPlanned& planned, std::unique_ptr<TSafeFile> file) {
        FRows.push_back(&planned);
        FFiles.push_back(std::move(file));
    }
    [[nodiscard]] bool Empty() const { return FRows.empty(); }
    bool Write(const void* data, size_t count) override {
        for (size_t i = 0; i < FFiles.size(); ++i)
            if (FFiles[i] && !FFiles[i]->Write(data, count)) Drop(i);
        return true;
    }
    bool Finish(const TCABFileEntry& entry) override {
        const bool stamped = entry.Date.Year != 0;
        for (size_t i = 0; i < FFiles.size(); ++i) {
            if (!FFiles[i]) continue;
            if (FFiles[i]->Commit(stamped ? &entry.Date : nullptr)) {
                FReport.Written.push_back(FRows[i]->Target);
                FRows[i]->Settled = true;
            } else {
                Drop(i);
            }
        }
        return true;
    }

  private:
    void Drop(size_t i) {
        FReport.Refused.push_back({FRows[i]->DeviceFile, FRows[i]->Target, FFiles[i]->Error(),
                                   TExtractAllProblem::WriteFailed});
        FRows[i]->Settled = true;
        FFiles[i].reset();
    }
    TExtractAllReport& FReport;
    std::vector<TPlanned*> FRows;
    std::vector<std::unique_ptr<TSafeFile>> FFiles;
};

} // namespace

std::optional<std::vector<std::string>> DeviceTargetParts(const std::string& deviceFolder,
                                                          const std::string& name) {
    std::vector<std::string> parts;
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
        parts.emplace_back(part);
    }
    if (!IsPlainComponent(name) || name.find_first_of("\\/") != std::string::npos)
        return std::nullopt;
    parts.push_back(name);
    return parts;
}

std::optional<std::string> DeviceTargetPath(const std::string& dir, const std::string& deviceFolder,
                                            const std::string& name) {
    const auto parts = DeviceTargetParts(deviceFolder, name);
    if (!parts) return std::nullopt;
    return JoinTarget(dir, *parts);
}

TExtractAllReport ExtractAllFiles(
    TCESetup& setup, const std::string& dir,
    const std::function<bool(size_t done, size_t total, const std::string& deviceFile)>& progress) {
    TExtractAllReport report;
    TCABFile* cabinet = setup.Cabinet;
    if (!cabinet || setup.Files.empty()) return report;

    try {
        cabinet->ListContents();
    } catch (const EConvertError&) {
        // Every entry is listed all the same; one with a bad date is written undated.
    }
    const std::vector<int> entries = setup.RowEntries(cabinet->CABFileContents);

    std::vector<TPlanned> planned(setup.Files.size());
    std::vector<std::vector<size_t>> rowsOfEntry(cabinet->CABFileContents.Items().size());
    // The device compares paths ignoring case, so two rows differing only in case collide.
    std::unordered_map<std::string, size_t> rowOfTarget;
    size_t total = 0;
    for (size_t row = 0; row < setup.Files.size(); ++row) {
        TCECAB_File file;
        setup.GetFile(static_cast<int>(row), file);
        TPlanned& p = planned[row];
        p.DeviceFile = IncludeBackslash(file.Dir) + file.Name;
        auto parts = DeviceTargetParts(file.Dir, file.Name);
        if (!parts) {
            report.Refused.push_back(
                {p.DeviceFile, {}, "would be written outside " + dir, TExtractAllProblem::Outside});
            continue;
        }
        p.Target = JoinTarget(dir, *parts);
        p.Parts = std::move(*parts);
        if (p.Target.size() > MaxDesktopPath()) {
            report.Refused.push_back({p.DeviceFile,
                                      {},
                                      "the path is longer than the system allows (" +
                                          std::to_string(p.Target.size()) + " bytes)",
                                      TExtractAllProblem::Outside});
            p.Target.clear();
            continue;
        }
        if (entries[row] < 0) {
            report.Refused.push_back(
                {p.DeviceFile, p.Target, "not in the cabinet", TExtractAllProblem::NotFound});
            continue;
        }
        const auto [first, fresh] = rowOfTarget.emplace(UpperCaseAscii(p.Target), row);
        if (!fresh) {
            report.Refused.push_back({p.DeviceFile, p.Target,
                                      "lands on the same path as " +
                                          planned[first->second].DeviceFile + ", which is written",
                                      TExtractAllProblem::Collision});
            continue;
        }
        rowsOfEntry[static_cast<size_t>(entries[row])].push_back(row);
        ++total;
    }

    // The chosen folder is taken as it stands, links and all; below it nothing is followed.
    if (total > 0 && !dir.empty() && !ForceDirectories(dir)) {
        RefuseUnsettled(rowsOfEntry, planned,
                        "cannot make the folder " + dir + ": " + LastSystemErrorText(),
                        TExtractAllProblem::WriteFailed, report);
        return report;
    }
    size_t done = 0;
    std::unique_ptr<TRowsSink> sink;
    const TOpenEntrySink open = [&](size_t index, const TCABFileEntry&) -> TEntrySink* {
        if (index >= rowsOfEntry.size() || rowsOfEntry[index].empty()) return nullptr;
        sink = std::make_unique<TRowsSink>(report);
        for (const size_t row : rowsOfEntry[index]) {
            TPlanned& p = planned[row];
            if (progress && !progress(done, total, p.DeviceFile)) throw TCancelled{};
            ++done;
            const std::vector<std::string> folders(p.Parts.begin(), p.Parts.end() - 1);
            auto file = std::make_unique<TSafeFile>();
            if (!file->Open(dir, folders, p.Parts.back())) {
                report.Refused.push_back(
                    {p.DeviceFile, p.Target, file->Error(), TExtractAllProblem::WriteFailed});
                p.Settled = true;
                continue;
            }
            sink->Add(p, std::move(file));
        }
        return sink->Empty() ? nullptr : sink.get();
    };

    std::string runError;
    try {
        if (!cabinet->ExtractEntries(open)) runError = "the cabinet could not be read";
    } catch (const TCancelled&) {
        report.Cancelled = true;
    } catch (const std::bad_alloc&) {
        runError = "out of memory";
    } catch (const std::exception& e) {
        runError = e.what();
    }
    sink.reset(); // a file cut short by a failure or a cancel is discarded here
    if (report.Cancelled) return report;
    RefuseUnsettled(rowsOfEntry, planned,
                    runError.empty() ? std::string("the cabinet ended before this file") : runError,
                    TExtractAllProblem::ExtractFailed, report);
    return report;
}

namespace {
// A device path tens of thousands of folders deep is named by its ends.
std::string Shortened(const std::string& text) {
    if (text.size() <= 240) return text;
    return text.substr(0, 160) + "..." + text.substr(text.size() - 60);
}
} // namespace

std::string ExtractAllIssueText(const TExtractAllIssue& issue, const std::string& dir) {
    switch (issue.Problem) {
    case TExtractAllProblem::Outside:
        if (issue.Reason == "would be written outside " + dir)
            return "refused: " + issue.DeviceFile + " would be written outside " + dir;
        return "refused: " + Shortened(issue.DeviceFile) + ": " + issue.Reason;
    case TExtractAllProblem::NotFound:
        return "not in the cabinet: " + issue.DeviceFile;
    case TExtractAllProblem::Collision:
        return "not written: " + issue.DeviceFile + " " + issue.Reason;
    case TExtractAllProblem::WriteFailed:
        // The reasons of a safe write name the path themselves.
        if (!issue.Target.empty() && issue.Reason.find(issue.Target) != std::string::npos)
            return "could not write: " + issue.Reason;
        return "could not write " + issue.Target + ": " + issue.Reason;
    case TExtractAllProblem::ExtractFailed:
        return "could not extract " + issue.DeviceFile + ": " + issue.Reason;
    }
    return issue.Reason;
}
