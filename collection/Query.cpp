#include "collection/Collection.h"
#include "collection/LocalPath.h"

#include <sqlite3.h>

#include <memory>

namespace collection {

namespace {

// Each word a phrase of its own, all of them required: a word with punctuation
// ("HKLM\Init", "not-signed", "mscoree.dll") is the same tokens in the same order.
std::string MatchExpression(const std::vector<std::string>& words) {
    std::string match;
    for (const std::string& word : words) {
        if (word.empty()) continue;
        if (!match.empty()) match += ' ';
        match += '"';
        for (const char c : word) {
            if (c == '"') match += '"';
            match += c;
        }
        match += '"';
    }
    return match;
}

struct TSqlGuard {
    bool AttachRefused = false;
};

int Authorize(void* data, int action, const char*, const char*, const char*, const char*) {
    if (action == SQLITE_ATTACH || action == SQLITE_DETACH) {
        static_cast<TSqlGuard*>(data)->AttachRefused = true;
        return SQLITE_DENY;
    }
    return SQLITE_OK;
}

bool OnlySpace(const char* text) {
    for (; text && *text; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r' && *text != ';')
            return false;
    return true;
}

} // namespace

std::vector<TQueryHit> QueryCollection(const std::string& db,
                                       const std::vector<std::string>& words) {
    const std::string match = MatchExpression(words);
    if (match.empty()) throw TCollectionError("no words to search for", true);
    TDatabase database(db, TOpenMode::ReadOnly);
    TStatement s(database,
                 "SELECT path, sha256, status, name, company, processor, verdict, signer, "
                 "warnings, notices FROM setup_overview WHERE sha256 IN (SELECT cabinet_sha256 "
                 "FROM search WHERE search MATCH ?1) ORDER BY path");
    s.Bind(1, match);
    std::vector<TQueryHit> hits;
    while (s.Step())
        hits.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4), s.Text(5), s.Text(6),
                        s.Text(7), s.Number(8), s.Number(9)});
    return hits;
}

void RunSql(const std::string& db, const std::string& sql,
            const std::function<void(const std::vector<std::string>&)>& columns,
            const std::function<void(const TSqlRow&)>& row) {
    TDatabase database(db, TOpenMode::ReadOnly);
    database.Exec("PRAGMA query_only=1");
    TSqlGuard guard;
    sqlite3_set_authorizer(database.Handle(), Authorize, &guard);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(database.Handle(), sql.c_str(), static_cast<int>(sql.size()),
                                      &raw, &tail);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    if (guard.AttachRefused)
        throw TCollectionError("--sql refuses ATTACH and DETACH: it reads this index alone", true);
    if (rc != SQLITE_OK)
        throw TCollectionError(std::string("the statement is not valid SQL here: ") +
                                   sqlite3_errmsg(database.Handle()),
                               true);
    if (!raw) throw TCollectionError("no statement to run", true);
    if (!OnlySpace(tail)) {
        sqlite3_stmt* next = nullptr;
        const int nextRc = sqlite3_prepare_v2(database.Handle(), tail, -1, &next, nullptr);
        sqlite3_finalize(next);
        if (nextRc != SQLITE_OK || next)
            throw TCollectionError("--sql runs exactly one statement", true);
    }
    if (!sqlite3_stmt_readonly(raw))
        throw TCollectionError("--sql only reads: the statement would change the index", true);
    std::vector<std::string> names;
    for (int i = 0; i < sqlite3_column_count(raw); ++i) {
        const char* name = sqlite3_column_name(raw, i);
        names.emplace_back(name ? name : "");
    }
    columns(names);
    TSqlRow values(names.size());
    for (;;) {
        const int step = sqlite3_step(raw);
        if (step == SQLITE_DONE) break;
        if (step != SQLITE_ROW) throw database.Error("the query failed", step);
        for (int i = 0; i < static_cast<int>(names.size()); ++i) {
            const auto* text = sqlite3_column_text(raw, i);
            if (!text)
                values[i].reset();
            else
                values[i] = std::string(reinterpret_cast<const char*>(text),
                                        static_cast<size_t>(sqlite3_column_bytes(raw, i)));
        }
        row(values);
    }
}

TMergeSummary MergeCollections(const std::string& db, const std::vector<std::string>& others) {
    TMergeSummary summary;
    TDatabase database(db, TOpenMode::Write);
    database.StartWriting();
    // Missing after a first index run that was killed.
    BuildMissingFactIndexes(database);
    for (const std::string& other : others) {
        // Checked on a connection of its own first: only an index of ours is taken.
        { TDatabase check(other, TOpenMode::ReadOnly); }
        TStatement attach(database, "ATTACH DATABASE ?1 AS other");
        const std::string name = PathToUtf8(other); // bound without a copy
        attach.Bind(1, name);
        attach.Run();
        try {
            database.Exec("BEGIN IMMEDIATE");
            database.Exec("CREATE TEMP TABLE new_contents AS SELECT DISTINCT sha256 FROM "
                          "other.cabinets WHERE sha256 IS NOT NULL AND sha256 NOT IN (SELECT "
                          "sha256 FROM main.cabinets WHERE sha256 IS NOT NULL)");
            for (const TFactTable& table : FactTables()) {
                std::string columns = "cabinet_sha256";
                for (const char* column : table.Columns)
                    columns += std::string(", ") + column;
                database.Exec(std::string("INSERT INTO main.") + table.Name + "(" + columns +
                              ") SELECT " + columns + " FROM other." + table.Name +
                              " WHERE cabinet_sha256 IN (SELECT sha256 FROM temp.new_contents)");
            }
            {
                TStatement count(database, "SELECT count(*) FROM temp.new_contents");
                if (count.Step()) summary.Setups += static_cast<size_t>(count.Number(0));
            }
            const int before = sqlite3_total_changes(database.Handle());
            database.Exec("INSERT OR IGNORE INTO main.cabinets(path, size, mtime, sha256, format, "
                          "status, error, copy_of, indexed_at) SELECT path, size, mtime, sha256, "
                          "format, status, error, copy_of, indexed_at FROM other.cabinets");
            summary.Cabinets +=
                static_cast<size_t>(sqlite3_total_changes(database.Handle()) - before);
            // The packages the setups came in: without them a setup in a package could not be
            // taken out of it again. An index of the first version has none.
            bool hasPackages = false;
            {
                TStatement has(database, "SELECT 1 FROM other.sqlite_master WHERE type = "
                                         "'table' AND name = 'packages'");
                hasPackages = has.Step();
            }
            if (hasPackages)
                database.Exec("INSERT OR IGNORE INTO main.packages(path, size, mtime, kind, "
                              "setups, error, indexed_at) SELECT path, size, mtime, kind, setups, "
                              "error, indexed_at FROM other.packages");
            DropOrphanRows(database);
            database.Exec("DROP TABLE temp.new_contents");
            database.Exec("COMMIT");
        } catch (...) {
            sqlite3_exec(database.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_exec(database.Handle(), "DETACH DATABASE other", nullptr, nullptr, nullptr);
            throw;
        }
        database.Exec("DETACH DATABASE other");
    }
    LeaveOneFile(database);
    return summary;
}

} // namespace collection
