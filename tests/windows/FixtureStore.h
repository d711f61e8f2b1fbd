#pragma once
// Cabinets built by the native tests, kept for the Windows tests, which have no libgcab: the
// native run records each cabinet it builds under a key made from what was asked for, and the
// Windows run looks the same request up in the same folder.
#include "tests/support/CabinetBuilder.h"

#include <string>
#include <vector>

// A name for the request: every entry's name, bytes and stored date, and the compression.
[[nodiscard]] std::string FixtureKey(const std::vector<FixtureEntry>& entries,
                                     FixtureCompression compression);
// Keeps the cabinet in the folder named by TESSARY_RECORD_FIXTURES, when that is set.
void RecordFixtureCabinet(const std::vector<FixtureEntry>& entries, FixtureCompression compression,
                          const std::vector<uint8_t>& cabinet);
// The cabinet the native run recorded for this request, from TESSARY_FIXTURE_DIR; throws when
// it was never recorded.
[[nodiscard]] std::vector<uint8_t> RecordedFixtureCabinet(const std::vector<FixtureEntry>& entries,
                                                          FixtureCompression compression);

// Keeps bytes under a name in the folder named by TESSARY_RECORD_FIXTURES, when that is set,
// replacing an earlier recording.
void RecordFixtureFile(const std::string& name, const std::vector<uint8_t>& bytes);
// The paths of the files recorded with names that begin with prefix, sorted; empty when none.
[[nodiscard]] std::vector<std::string> RecordedFixtureFiles(const std::string& prefix);
