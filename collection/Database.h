#pragma once
// The index file: a SQLite database of a schema of ours, opened and checked in one place.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace collection {

// What went wrong with an index or a statement, said plainly. Refused: the file is not an index
// of ours, is damaged, or the request is not allowed (a write through --sql); the others are
// failures to read or write it.
class TCollectionError : public std::runtime_error {
  public:
    TCollectionError(const std::string& message, bool refused)
        : std::runtime_error(message), Refused(refused) {}
    bool Refused;
};

// The schema's version, kept in PRAGMA user_version.
constexpr int kSchemaVersion = 2;

enum class TOpenMode { ReadOnly, Write };

class TStatement;

class TDatabase {
  public:
    // Write creates the file and the schema when missing. A file that is no SQLite database, a
    // database of another program, or one of a newer schema is refused.
    TDatabase(const std::string& path, TOpenMode mode);
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    // Before the first write of a session: the write-ahead log (readers go on reading while the
    // index is written) and what a long run of writes wants. A session that finds nothing to
    // write never calls it, and leaves the file as it was.
    void StartWriting();
    void Exec(const std::string& sql);
    [[nodiscard]] sqlite3* Handle() const { return FDb; }
    [[nodiscard]] const std::string& Path() const { return FPath; }
    // The library's message for the last failure, named by the index's path.
    [[nodiscard]] TCollectionError Error(const std::string& what, int code) const;

  private:
    void Check();
    void Create();
    void Upgrade(); // an index of an earlier version, opened to be written, made current
    int64_t FVersion = 0;
    sqlite3* FDb = nullptr;
    bool FWriting = false;
    std::string FPath;
};

class TStatement {
  public:
    TStatement(TDatabase& db, const std::string& sql);
    ~TStatement();
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    // The text must stay as it is until the statement is run or reset.
    TStatement& Bind(int index, const std::string& text);
    // A text that dies at the end of the call's statement cannot be bound.
    TStatement& Bind(int index, std::string&& text) = delete;
    TStatement& Bind(int index, int64_t number);
    TStatement& BindNull(int index);
    // Binds texts from 1 in order; an empty text stays an empty text.
    template <typename... T> TStatement& BindAll(const T&... values) {
        int i = 0;
        (Bind(++i, values), ...);
        return *this;
    }
    // true while a row is there.
    bool Step();
    // Runs to the end and resets for the next binding.
    void Run();
    void Reset();
    [[nodiscard]] std::string Text(int column) const;
    [[nodiscard]] int64_t Number(int column) const;
    [[nodiscard]] bool IsNull(int column) const;
    [[nodiscard]] int Columns() const;
    [[nodiscard]] std::string ColumnName(int column) const;
    [[nodiscard]] sqlite3_stmt* Handle() const { return FStmt; }

  private:
    TDatabase& FDb;
    sqlite3_stmt* FStmt = nullptr;
};

// The tables that hold a setup's rows, keyed by the cabinet's SHA-256, with their columns after
// that key: one list serves the writer, the merge and the removal of rows no cabinet holds.
struct TFactTable {
    const char* Name;
    std::vector<const char*> Columns;
};
[[nodiscard]] const std::vector<TFactTable>& FactTables();

// The indexes of the setups' rows (by cabinet, by file content, by thumbprint). A first load
// drops them and creates them at its end; an index whose first load was killed lacks them
// until the next writing run (its queries give the same answers, only slower).
[[nodiscard]] bool HasFactIndexes(TDatabase& db);
void DropFactIndexes(TDatabase& db);
// Drops them for a first load, inside the caller's transaction, with the cache that suits it.
void StartFirstLoad(TDatabase& db);
// Creates those that are missing, in a transaction of its own; nothing when none is.
void BuildMissingFactIndexes(TDatabase& db);

// Ends a writing session with the index in one file again (the write-ahead log checkpointed
// and removed), so that it can be copied, merged, and read from read-only media. Another
// connection still open keeps the log: that is no failure.
void LeaveOneFile(TDatabase& db);

// Removes the rows of contents no cabinet holds any more (a file changed since it was read).
void DropOrphanRows(TDatabase& db);

} // namespace collection
