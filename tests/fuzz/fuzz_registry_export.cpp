// libFuzzer target: registry values of arbitrary roots, types, keys, names and data through the
// key tree and the REGEDIT4 writer. Every line written must be a key, a value, a comment or
// empty, whatever the model's texts hold.
#include "report/RegistryExport.h"
#include "setup/CESetup.h"
#include "tests/fuzz/FuzzSeeds.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// One value per 0xFF-separated chunk: root byte, type byte, then key, name and data separated
// by 0xFE. The first input byte chooses the descriptor kind.
void FillValues(TCESetup& setup, std::string_view input) {
    setup.Format = !input.empty() && (input[0] & 1) ? kFormatXML : kFormatBinary;
    if (!input.empty()) input.remove_prefix(1);
    while (!input.empty()) {
        const size_t end = std::min(input.find('\xFF'), input.size());
        std::string_view chunk = input.substr(0, end);
        input.remove_prefix(std::min(end + 1, input.size()));
        if (chunk.size() < 2) continue;
        TCEINFRegValue value;
        value.Root = static_cast<int8_t>(chunk[0]) % 5;
        value.DataType = static_cast<int8_t>(chunk[1]) % 6;
        chunk.remove_prefix(2);
        std::string* fields[] = {&value.KeyPath, &value.Name, &value.Data};
        for (std::string* field : fields) {
            const size_t cut = std::min(chunk.find('\xFE'), chunk.size());
            *field = std::string(chunk.substr(0, cut));
            chunk.remove_prefix(std::min(cut + 1, chunk.size()));
        }
        setup.RegValues.push_back(std::move(value));
    }
}

std::vector<uint8_t> Seed(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace std::string_literals;
    WriteSeedsAndExitIfAsked({Seed("\x00\x02\x00Software\\Acme\xFEPath\xFE%InstallDir%\\a\"b\xFF"
                                   "\x02\x01K\xFE\xFE"
                                   "4294967295\xFF\x01\x02K\\Sub\xFE"
                                   "Blob\xFE"
                                   "01 AB 00\xFF\x01\x03K\xFEList\xFEone;two"s),
                              Seed("\x01\x00\x02.txt\xFE\xFE"
                                   "AQKr/w==\xFF\x07\x00Key\xFEName\nBreak\xFEline\r\nbreak"s)});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCESetup setup;
    FillValues(setup, std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string text = RegistryExportText(setup);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) std::abort(); // every line ends in CR LF
        const std::string_view line(text.data() + start, end - start);
        if (line.find_first_of("\r\n") != std::string_view::npos) std::abort();
        if (!line.empty() && line != "REGEDIT4" && line[0] != ';' && line[0] != '[' &&
            line[0] != '"' && line[0] != '@')
            std::abort();
        start = end + 2;
    }
    return 0;
}
