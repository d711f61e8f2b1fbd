#pragma once
// --index, --query, --sql and --merge: a collection of setups kept in an index file
// (`collection/`). In a build without SQLite each says that the build has no collection support.
#include "tools/CommandLine.h"

// The command's exit status: --index 0 when every cabinet was read, 3 when some were damaged
// or could not be opened or the run was interrupted; 2 for an index that is not ours, damaged,
// or a --sql statement that is refused.
[[nodiscard]] int RunCollection(const Options& o);

// --manifest or --sbom with --into DIR: the document of every setup the index (the one file)
// holds, one file per content in DIR named by the cabinet's SHA-256, each written whole or not
// at all. A setup is read again from a path the index records for it, whose content must still
// be the one indexed; one that moved, changed, or was recorded damaged is said and not
// written. 0 when every setup was written, 3 otherwise, 2 for a file that is no index.
[[nodiscard]] int WriteCollectionInventory(const Options& o);
