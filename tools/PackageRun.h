#pragma once
// Packages on the command line (package/): each setup a package holds is reported as a cabinet
// is, under a heading of its own ("==> Setup.exe : App.ARM.CAB <=="; in JSON a "container"
// object after "file"); --extract-cabinets writes the cabinets out.
#include "tools/FileOutput.h"

#include <functional>
#include <string>

// Reports one contained setup read from cabinetPath; answers its exit status.
using TReportCabinet = std::function<int(const std::string& cabinetPath, TFileOutput& output)>;

// When file is a package: reports each of its setups through report and answers the highest
// status (a setup the package names but lacks, or a package that stopped, is a failure: 3;
// a package with no setup, or one in a format that cannot be read, is 1). -1 when file is no
// package: the caller answers as for any file that is no setup.
[[nodiscard]] int RunPackage(const std::string& file, TFileOutput& output,
                             const TReportCabinet& report);

// --extract-cabinets DIR FILE: every cabinet the package holds, below DIR under its path inside
// (folders of a zip kept), through the safe writer; a name that would climb out of DIR is
// refused with a message and the others are still written. 0 done, 1 no package, 3 a refusal
// or a failure.
[[nodiscard]] int ExtractCabinets(const std::string& dir, const std::string& file);
