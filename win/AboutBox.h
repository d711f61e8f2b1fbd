#pragma once
// The About box: the program's icon, its name and the product version of its version
// resource, the notice and the credits.
#include <string>

#include <windows.h>

// Runs the box modally; a fresh box each time, destroyed when it closes.
void ShowAboutBox(HWND owner);
// The ProductVersion of the running program's version resource; empty when it has none.
[[nodiscard]] std::wstring ProductVersion();
