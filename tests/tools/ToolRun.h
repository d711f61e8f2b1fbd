#pragma once
// Runs the built tessary-info and keeps its exit status, output and errors.
#include "tests/support/CabinetBuilder.h"

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

struct ToolRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

inline std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (const char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// With a time limit, a run that hangs ends with exit 124 instead of stopping the tests.
inline ToolRun RunTool(const std::vector<std::string>& args, int seconds = 0) {
    TempDir out;
    std::string command = seconds > 0 ? "timeout " + std::to_string(seconds) + " " : "";
    command += Quote(TESSARY_INFO_EXE);
    for (const std::string& a : args)
        command += " " + Quote(a);
    command += " >" + out.File("out") + " 2>" + out.File("err") + " </dev/null";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto o = ReadFileBytes(out.File("out"));
    const auto e = ReadFileBytes(out.File("err"));
    run.Out.assign(o.begin(), o.end());
    run.Err.assign(e.begin(), e.end());
    return run;
}
