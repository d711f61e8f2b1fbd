#pragma once
// Seeds for a fuzz target: when TESSARY_WRITE_SEEDS names a folder, the target writes its seed
// inputs there from LLVMFuzzerInitialize and exits, so the seeds come from our own builders.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline void WriteSeedsAndExitIfAsked(const std::vector<std::vector<uint8_t>>& seeds) {
    const char* dir = std::getenv("TESSARY_WRITE_SEEDS");
    if (!dir || !*dir) return;
    int n = 0;
    for (const auto& seed : seeds) {
        const std::string path = std::string(dir) + "/seed" + std::to_string(n++);
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(seed.data(), 1, seed.size(), f);
            std::fclose(f);
        }
    }
    std::exit(0);
}
