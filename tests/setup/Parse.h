#pragma once
// Parsing descriptor bytes the way loading does: from a memory stream.
#include "cab/Streams.h"
#include "setup/SetupINF.h"
#include "tests/support/DescriptorWriter.h"

#include <vector>

[[nodiscard]] inline bool ParseBytes(TSetupINF& setup, const std::vector<uint8_t>& bytes) {
    TMemoryStream stream(bytes);
    stream.Seek(0, TSeekOrigin::End);
    return setup.ParseDescriptor({}, &stream);
}

[[nodiscard]] inline bool ParsePlan(TSetupINF& setup, const DescriptorPlan& plan) {
    return ParseBytes(setup, WriteDescriptorBytes(plan));
}
