#pragma once
// Writes every file of a loaded setup below one desktop folder, each row's own cabinet entry,
// in one pass over the cabinet.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TCESetup;

enum class TExtractAllProblem {
    Outside,   // the device path would climb out of the folder, or is longer than allowed
    NotFound,  // no cabinet entry carries the row's id
    Collision, // another row lands on the same desktop path (ignoring case)
    WriteFailed,
    ExtractFailed // the cabinet could not be read as far as this file
};

struct TExtractAllIssue {
    std::string DeviceFile; // the row's folder and name, as the device writes them
    std::string Target;     // the desktop path, empty when there is none
    std::string Reason;     // why, in words
    TExtractAllProblem Problem = TExtractAllProblem::WriteFailed;
};

struct [[nodiscard]] TExtractAllReport {
    std::vector<std::string> Written;      // desktop paths written
    std::vector<TExtractAllIssue> Refused; // refused names, collisions, write failures
    bool Cancelled = false;
};

// The path below dir for a file of the setup: each folder of the device path becomes a plain
// folder, a macro without its percent signs (%InstallDir%\Data -> dir/InstallDir/Data). None
// when the folder or the name would climb out of dir: "..", a drive prefix, a name with a
// separator, an empty name.
[[nodiscard]] std::optional<std::string>
DeviceTargetPath(const std::string& dir, const std::string& deviceFolder, const std::string& name);

// The folders below dir and the file name that DeviceTargetPath joins; none where it gives none.
[[nodiscard]] std::optional<std::vector<std::string>>
DeviceTargetParts(const std::string& deviceFolder, const std::string& name);

// Writes every file of the setup below dir. progress(done, total, deviceFile) is called before
// each file; answering false cancels, and nothing half-written is left. Files that cannot be
// placed or written are in the report; the others are still written.
[[nodiscard]] TExtractAllReport
ExtractAllFiles(TCESetup& setup, const std::string& dir,
                const std::function<bool(size_t done, size_t total, const std::string& deviceFile)>&
                    progress = {});

// One line for an issue, as the command-line tool prints it.
[[nodiscard]] std::string ExtractAllIssueText(const TExtractAllIssue& issue,
                                              const std::string& dir);
