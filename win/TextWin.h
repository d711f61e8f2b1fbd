#pragma once
// Between the model's 8-bit texts and the screen's UTF-16, and between the screen's paths and
// the ANSI paths the core opens.
#include <string>

// UTF-8 when the bytes are valid UTF-8, else one character per byte (Latin-1), as the Qt
// viewer shows them; control characters become visible \xNN escapes.
[[nodiscard]] std::wstring ToDisplay(const std::string& text);
// Screen text back to UTF-8, for the report's functions that compose texts.
[[nodiscard]] std::string ToUtf8(const std::wstring& text);
// UTF-8 as it is, nothing escaped: a path an index keeps (a file name may hold a character
// that ToDisplay would show as an escape).
[[nodiscard]] std::wstring FromUtf8(const std::string& text);
// A plain ASCII text, such as a caption from the report.
[[nodiscard]] std::wstring Widen(const std::string& ascii);
// A desktop path in the system's ANSI code page. An existing file whose name the code page
// cannot hold is reached through its short (8.3) name; otherwise such a path comes back empty.
[[nodiscard]] std::string ToLocalPath(const std::wstring& path);
// Back from the ANSI code page, for messages that name a path.
[[nodiscard]] std::wstring FromLocalPath(const std::string& path);
// One argument of a command line, quoted so that CommandLineToArgvW gives it back unchanged.
[[nodiscard]] std::wstring QuoteArgument(const std::wstring& argument);
