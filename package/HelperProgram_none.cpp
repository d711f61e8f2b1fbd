#include "package/HelperProgram.h"

// This build starts no other programs: the installers they would unpack are named, not opened.
std::string FindHelperProgram(const std::string&) {
    return {};
}

THelperRun RunHelperProgram(const std::vector<std::string>&, std::chrono::steady_clock::time_point,
                            const std::function<bool()>&) {
    THelperRun run;
    run.Error = "this build starts no other programs";
    return run;
}
