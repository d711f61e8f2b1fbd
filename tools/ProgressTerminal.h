#pragma once
// Where a progress line is drawn: standard error, only when it is a terminal (a console on
// Windows), never into a file, a pipe or NUL.
#include <optional>
#include <string>

// What erases the line drawn last and returns to its start; nothing when standard error is not
// a terminal. On a Windows console it switches on the terminal sequences where the console has
// them (Windows 10 on) and otherwise blanks the line with spaces.
[[nodiscard]] std::optional<std::string> ProgressLineEraser();
