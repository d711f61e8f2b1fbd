#include "tools/ProgressTerminal.h"

#include <unistd.h>

std::optional<std::string> ProgressLineEraser() {
    if (!isatty(STDERR_FILENO)) return std::nullopt;
    return "\r\033[K";
}
