#pragma once
#include <string>
#include <vector>

// The shared test cabinets, when this checkout has them beside it.
[[nodiscard]] std::string CorpusDir();
[[nodiscard]] std::string RealCabinet(const std::string& name);
[[nodiscard]] bool HaveCorpus();
// Every file below a folder of the corpus, sorted.
[[nodiscard]] std::vector<std::string> CorpusFiles(const std::string& subfolder);
