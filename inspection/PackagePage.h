#pragma once
// The "Package" page of a file that holds setups (an application manager's .ini, a zip, an
// .msi, a self-extracting program): one row per setup it holds, in the package's order, with
// the .ini component that names it, the processor its descriptor names and its cabinet's path
// inside. A cabinet that cannot be opened as a setup says why instead.
#include "package/Package.h"
#include "report/Page.h"

#include <string>

[[nodiscard]] TPage BuildPackagePage(const TPackage& package);

// The status line of the page: how many setups it holds and, when the opening stopped, why.
[[nodiscard]] std::string PackageStatusText(const TPackage& package);
