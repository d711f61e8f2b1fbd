#pragma once
// Another program started to unpack what this project cannot read itself: started with an
// argument list (never through a shell), its input empty, its output dropped, what it says on
// standard error kept in part, and ended when the caller's deadline or check says so.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct THelperRun {
    bool Started = false; // false: Error says why it could not be started
    bool Stopped = false; // ended by the deadline or by the caller's check
    int ExitCode = -1;    // when it ended by itself
    std::string Messages; // the first few KiB of its standard error
    std::string Error;    // why it could not be started
};

// The program's path in the folders of PATH, or empty when none holds it.
[[nodiscard]] std::string FindHelperProgram(const std::string& name);

// Runs arguments[0] (a path) with the rest as its arguments. keepGoing is asked a few times a
// second while it runs; when it answers false, or the deadline passes, the program and what it
// started are ended. Throws only for memory.
[[nodiscard]] THelperRun RunHelperProgram(const std::vector<std::string>& arguments,
                                          std::chrono::steady_clock::time_point deadline,
                                          const std::function<bool()>& keepGoing);
