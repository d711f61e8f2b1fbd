// libFuzzer target: the cabinet layer over arbitrary bytes held in memory, as a container's
// cabinet is read. Every listed entry is offered to a bounded sink; a run that completes has
// given each entry it finished exactly its listed size.
#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/support/CabinetBuilder.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::vector<uint8_t> text(3000);
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<uint8_t>("abcde fghij\n"[i % 12]);
    WriteSeedsAndExitIfAsked({
        BuildCabinet({{"a.txt", Bytes("alpha")}, {"sub\\b.bin", text}}, FixtureCompression::None),
        BuildCabinet({{"a.txt", Bytes("alpha")}, {"sub\\b.bin", text}}, FixtureCompression::MSZIP),
        BuildCabinet({{"empty", {}}}, FixtureCompression::MSZIP),
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCABFile cab;
    cab.CABFile = "/nonexistent/fuzz.cab";
    cab.CABBytes = std::span<const uint8_t>(data, size);
    try {
        cab.ListContents();
    } catch (const EConvertError&) {
        // An invalid stored date: the listing is complete all the same.
    }
    const auto& items = cab.CABFileContents.Items();
    if (items.size() > 65535) std::abort();
    std::vector<TMemorySink> sinks(items.size(), TMemorySink(1 << 20));
    const bool whole = cab.ExtractEntries([&](size_t index, const TCABFileEntry&) -> TEntrySink* {
        return index < sinks.size() ? &sinks[index] : nullptr;
    });
    if (whole)
        for (size_t i = 0; i < sinks.size(); ++i)
            if (sinks[i].Finished() && sinks[i].Data.size() != items[i].Size) std::abort();
    return 0;
}
