#pragma once
// Texts the tests read back: a file's whole contents, and a text's lines.
#include <string>
#include <vector>

// The file's bytes as they are (empty when it cannot be read).
[[nodiscard]] std::string ReadFileText(const std::string& path);
// The lines of text, without their line ends; a last line without one counts.
[[nodiscard]] std::vector<std::string> SplitLines(const std::string& text);
