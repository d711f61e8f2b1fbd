#pragma once
// Runs the built tessary-info with an argument list (no shell) and keeps its exit status, output
// and errors.
#include "tests/support/CabinetBuilder.h"

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ToolRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
    long PeakKilobytes = 0; // the run's largest resident set, for messages
};

struct ToolRunOptions {
    std::string Dir;        // the working folder; the current one when empty
    std::string StdoutPath; // standard output goes there instead of being captured
    int Seconds = 0;        // a run still going after that many seconds is killed: exit 124
    size_t MemoryBytes = 0; // the run's address space limit, when not 0 (not under ASan)
};

// Time budgets are the release build's: a sanitized debug build runs an order of magnitude
// slower.
#if defined(TESSARY_SANITIZED)
inline constexpr unsigned kToolSlowdown = 10;
#else
inline constexpr unsigned kToolSlowdown = 1;
#endif

inline ToolRun RunToolWith(const std::vector<std::string>& args, const ToolRunOptions& options) {
    TempDir capture;
    const std::string outPath =
        options.StdoutPath.empty() ? capture.File("out") : options.StdoutPath;
    const std::string errPath = capture.File("err");
    std::vector<std::string> all{TESSARY_INFO_EXE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(126);
        if (!options.Dir.empty() && chdir(options.Dir.c_str()) != 0) _exit(126);
        // The alarm survives exec and ends a run that hangs.
        if (options.Seconds > 0) alarm(static_cast<unsigned>(options.Seconds) * kToolSlowdown);
#if !defined(TESSARY_SANITIZED)
        if (options.MemoryBytes > 0) {
            const rlimit limit{options.MemoryBytes, options.MemoryBytes};
            setrlimit(RLIMIT_AS, &limit);
        }
#endif
        execv(argv[0], argv.data());
        _exit(127);
    }
    ToolRun run;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
    run.PeakKilobytes = usage.ru_maxrss;
    if (WIFEXITED(status))
        run.Exit = WEXITSTATUS(status);
    else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        run.Exit = 124;
    const auto o = options.StdoutPath.empty() ? ReadFileBytes(outPath) : std::vector<uint8_t>();
    const auto e = ReadFileBytes(errPath);
    run.Out.assign(o.begin(), o.end());
    run.Err.assign(e.begin(), e.end());
    return run;
}

// A crafted setup's run ends within 10 s and within 256 MB of address space beyond the
// decompressed size of what it holds (and the program's own few MB of code and libraries).
inline ToolRun RunWithinBudget(const std::vector<std::string>& args, size_t decompressed) {
    ToolRunOptions options;
    options.Seconds = 10;
    options.MemoryBytes = (256u << 20) + (32u << 20) + decompressed;
    return RunToolWith(args, options);
}

// With a time limit, a run that hangs ends with exit 124 instead of stopping the tests.
inline ToolRun RunTool(const std::vector<std::string>& args, int seconds = 0) {
    ToolRunOptions options;
    options.Seconds = seconds;
    return RunToolWith(args, options);
}
