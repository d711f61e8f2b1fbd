// BuildCabinet for the Windows build, which has no libgcab: the same request's cabinet as the
// native tests built and recorded it.
#include "tests/support/CabinetBuilder.h"
#include "tests/windows/FixtureStore.h"

std::vector<uint8_t> BuildCabinet(const std::vector<FixtureEntry>& entries,
                                  FixtureCompression compression) {
    return RecordedFixtureCabinet(entries, compression);
}
