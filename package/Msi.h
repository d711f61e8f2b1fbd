#pragma once
// Windows Installer packages (.msi) through msitools' libmsi: every stream of the package (the
// embedded cabinets and the Binary table's data alike) and the File table's names, by which the
// entries of its cabinets are keyed. A build without libmsi (the Windows cross build) answers
// that the format is not supported in this build.
#include "package/Archive.h"

#include <map>
#include <string>

// One stream: its name in the package and a way to read it. False stops the walk.
using TMsiStream = std::function<bool(const std::string& name, const TArchiveRead& read)>;

// fileNames: the File table's key -> long file name. False with error set when the package
// cannot be read.
[[nodiscard]] bool WalkMsiPackage(const std::string& path, const TMsiStream& stream,
                                  std::map<std::string, std::string>& fileNames,
                                  std::string& error);
