#pragma once
// A collection of setup cabinets kept in one SQLite file: indexed in parallel and incrementally,
// searched by words or read-only SQL, and merged from shards built elsewhere.
#include "collection/Database.h"

#include "package/Package.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace collection {

struct TIndexProgress {
    size_t Done = 0;  // cabinets settled (read, skipped, copies, failed)
    size_t Total = 0; // cabinets found by the walk
    std::string Current;
};

struct TIndexOptions {
    std::vector<std::string> Paths; // files and folders; folders are walked recursively
    // Every file of a folder whose bytes begin as a cabinet does, not only .cab and .cpf.
    bool AllFiles = false;
    // Hashes even a file whose path, size and modification time are unchanged.
    bool Rehash = false;
    unsigned Readers = 0; // 0: the number of cores
    // Cabinets written per transaction: each commit writes every page the batch touched (the
    // full-text index's and the indexes' pages among them) to the log again.
    size_t BatchSize = 256;
    // Called from the writing thread after each cabinet is settled. Must not throw.
    std::function<void(const TIndexProgress&)> Progress;
    // Set from anywhere (a signal handler too): no further cabinet is started, what was read is
    // committed, and a later run goes on from there.
    const std::atomic<bool>* Cancel = nullptr;
};

struct TIndexSummary {
    size_t Found = 0;
    size_t Read = 0;      // read and recorded, damaged ones included
    size_t Unchanged = 0; // path, size and time (or, with Rehash, content) as recorded
    size_t Copies = 0;    // recorded as copies of content already indexed
    // Of the cabinets walked, those recorded as damaged, and those that hold no setup.
    size_t Damaged = 0;
    size_t NotSetups = 0;
    // Walked files that hold setups (archives, self-extracting programs, cabinets of cabinets),
    // and the setups read or found unchanged in them, counted above too.
    size_t Packages = 0;
    size_t InPackages = 0;
    bool Cancelled = false;
    // Paths that could not be walked or opened, each with why: not in the index.
    std::vector<std::string> Problems;
};

// Indexes the cabinets below options.Paths into the index at db, creating it when missing. A
// cabinet that fails is recorded with its error and never stops the run; the index is only
// changed in whole transactions. Throws TCollectionError when the index cannot be opened or
// written.
[[nodiscard]] TIndexSummary IndexCollection(const std::string& db, const TIndexOptions& options);

// One setup found by a search, from the setup_overview view.
struct TQueryHit {
    std::string Path;
    std::string Sha256;
    std::string Status;
    std::string Name;
    std::string Company;
    std::string Processor;
    std::string Verdict;
    std::string Signer;
    int64_t Warnings = 0;
    int64_t Notices = 0;
};

// The cabinets whose setup holds every word (full-text search over names, values, companies,
// signers, thumbprints, rule ids), ordered by path. Throws TCollectionError.
[[nodiscard]] std::vector<TQueryHit> QueryCollection(const std::string& db,
                                                     const std::vector<std::string>& words);

// Runs one read-only statement on the index opened read-only: column names first, then each
// row, a NULL as nullopt. ATTACH, several statements and any write are refused
// (TCollectionError with Refused set).
using TSqlRow = std::vector<std::optional<std::string>>;
void RunSql(const std::string& db, const std::string& sql,
            const std::function<void(const std::vector<std::string>&)>& columns,
            const std::function<void(const TSqlRow&)>& row);

// One setup of the index as the collection window lists it.
struct TSetupRow {
    std::string Path;
    std::string Status; // "read", or why the cabinet could not be read
    std::string Name;
    std::string Version; // the first of its programs' versions, in folder and name order
    std::string Processor;
    std::string Verdict; // the signature's
    std::string Signer;
    std::string Trust;
    int64_t Warnings = 0;
};

// Every setup of the index, or with words those whose setup holds every word (as
// QueryCollection finds them), ordered by path. Throws TCollectionError.
[[nodiscard]] std::vector<TSetupRow> ListSetups(const std::string& db,
                                                const std::vector<std::string>& words);

// Something a setup holds whose name or value contains a text.
struct TContainsHit {
    std::string Path; // the cabinet's
    std::string Kind; // "File", "Registry" or "Certificate"
    std::string What; // folder\name; key\name = value; subject (thumbprint) in store
};

// Which setups hold a file (by folder or name), a registry value (by key, name or value) or a
// certificate (by subject, issuer or thumbprint) that contains text, ignoring ASCII case; at most
// limit hits, by path. Throws TCollectionError.
[[nodiscard]] std::vector<TContainsHit> WhichSetupsContain(const std::string& db,
                                                           const std::string& text, size_t limit);

// A cabinet as the index recorded it.
struct TIndexedCabinet {
    std::string Path;
    int64_t Size = 0;
    int64_t MTime = 0;
    std::string Sha256; // empty when it could not be hashed
    std::string Status; // "read", "damaged" or "not a setup"
    std::string Error;
    std::string CopyOf; // the path its rows were read from; empty for that one
    // A setup found in a package: the package's path and the setup's name inside it (Path is
    // both, joined by " : "); empty for a cabinet file.
    std::string Package;
    std::string Inside;
};

// Every cabinet of the index, by path. Throws TCollectionError.
[[nodiscard]] std::vector<TIndexedCabinet> IndexedCabinets(const std::string& db);

// Where an indexed cabinet can be read now: its own path, or for a setup in a package the copy
// taken out of the package again, kept while this lives. Path is empty when it cannot be found,
// and Why says why.
struct TReadableCabinet {
    std::string Path;
    std::string Why;
    std::unique_ptr<TPackage> Package;
};
[[nodiscard]] TReadableCabinet LocateIndexedCabinet(const TIndexedCabinet& cabinet);

// A recorded path of a setup in a package ("PACKAGE : NAME") split where its package is a file
// that exists now; false for any other path (a cabinet's own, or a package that is gone).
[[nodiscard]] bool SplitPackagePath(const std::string& path, std::string& package,
                                    std::string& inside);

// Why the file at readFrom (cabinet.Path when empty) no longer holds what the index recorded
// for cabinet: "no such file", another content, or why it cannot be read; empty when its
// SHA-256 is the one recorded.
[[nodiscard]] std::string ChangedSinceIndexed(const TIndexedCabinet& cabinet,
                                              const std::string& readFrom = {});

struct TMergeSummary {
    size_t Cabinets = 0; // cabinet rows taken over
    size_t Setups = 0;   // setups (by SHA-256) whose rows were taken over
};

// Takes into db what the other indexes hold and it lacks: the rows of each setup whose SHA-256
// db does not hold yet, and each cabinet and package whose path it has no row for. One
// transaction per other index. Throws TCollectionError.
[[nodiscard]] TMergeSummary MergeCollections(const std::string& db,
                                             const std::vector<std::string>& others);

} // namespace collection
