#include "tools/ProgressTerminal.h"

#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

std::optional<std::string> ProgressLineEraser() {
    // Only a console has a mode: a file, a pipe and NUL (which the C runtime's isatty takes for
    // a terminal) have none.
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == INVALID_HANDLE_VALUE || !error || !GetConsoleMode(error, &mode))
        return std::nullopt;
    if (SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return "\r\033[K";
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const int width = GetConsoleScreenBufferInfo(error, &info) ? info.dwSize.X : 80;
    return "\r" + std::string(static_cast<size_t>(width > 1 ? width - 1 : 79), ' ') + "\r";
}
