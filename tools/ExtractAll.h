#pragma once
#include <optional>
#include <ostream>
#include <string>

class TCESetup;

// The path below dir for a file of the setup: each folder of the device path becomes a plain
// folder, a macro without its percent signs (%InstallDir%\Data -> dir/InstallDir/Data). None
// when the folder or the name would climb out of dir: "..", a drive prefix, a name with a
// separator, an empty name.
[[nodiscard]] std::optional<std::string>
DeviceTargetPath(const std::string& dir, const std::string& deviceFolder, const std::string& name);

// Writes every file of the setup below dir. Files that cannot be placed or written are named on
// err; the others are still written. True when every file was written.
[[nodiscard]] bool ExtractAllFiles(TCESetup& setup, const std::string& dir, std::ostream& err);
