#include "tests/support/Corpus.h"

#include <algorithm>
#include <filesystem>

std::string CorpusDir() {
    return TESSARY_CORPUS_DIR;
}

std::string RealCabinet(const std::string& name) {
    return CorpusDir() + "/real/" + name;
}

bool HaveCorpus() {
    return std::filesystem::is_directory(CorpusDir() + "/real");
}

std::vector<std::string> CorpusFiles(const std::string& subfolder) {
    std::vector<std::string> files;
    std::error_code ec;
    const std::filesystem::path root = CorpusDir() + "/" + subfolder;
    if (!std::filesystem::is_directory(root, ec)) return files;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec)) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}
