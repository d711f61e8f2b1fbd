#pragma once
// --index, --query, --sql and --merge: a collection of setups kept in an index file
// (`collection/`). In a build without SQLite each says that the build has no collection support.
#include "tools/CommandLine.h"

// The command's exit status: --index 0 when every cabinet was read, 3 when some were damaged
// or could not be opened or the run was interrupted; 2 for an index that is not ours, damaged,
// or a --sql statement that is refused.
[[nodiscard]] int RunCollection(const Options& o);
