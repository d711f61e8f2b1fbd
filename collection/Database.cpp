#include "collection/Database.h"
#include "collection/LocalPath.h"

#include <sqlite3.h>

namespace collection {

namespace {

// "Tess", so that another program's database is told apart from an index of ours.
constexpr int64_t kApplicationId = 0x54657373;

// Files that hold setups (a self-extracting program, an archive, a cabinet of cabinets): the
// setups found in one are "cabinets" rows named "PACKAGE : PATH-INSIDE". Added in version 2.
#define TESSARY_PACKAGES_TABLE                                                                     \
    "CREATE TABLE IF NOT EXISTS packages(path TEXT PRIMARY KEY, size INTEGER, mtime INTEGER, "     \
    "kind TEXT, setups INTEGER, error TEXT, indexed_at TEXT NOT NULL DEFAULT "                     \
    "(strftime('%Y-%m-%dT%H:%M:%SZ', 'now')));"

const char kSchema[] = R"sql(
CREATE TABLE cabinets(
  id INTEGER PRIMARY KEY,
  path TEXT NOT NULL UNIQUE,
  size INTEGER,
  mtime INTEGER,
  sha256 TEXT,
  format TEXT,
  status TEXT NOT NULL,
  error TEXT,
  copy_of TEXT,
  indexed_at TEXT NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%SZ', 'now')));
CREATE INDEX cabinets_sha256 ON cabinets(sha256);
CREATE TABLE properties(cabinet_sha256 TEXT NOT NULL, name TEXT, value TEXT);
CREATE TABLE files(cabinet_sha256 TEXT NOT NULL, folder TEXT, name TEXT, entry TEXT,
  size INTEGER, sha256 TEXT, version TEXT, cpu TEXT);
CREATE TABLE shortcuts(cabinet_sha256 TEXT NOT NULL, title TEXT, file_name TEXT, folder TEXT);
CREATE TABLE registry(cabinet_sha256 TEXT NOT NULL, key TEXT, name TEXT, type TEXT, value TEXT);
CREATE TABLE provisioning(cabinet_sha256 TEXT NOT NULL, path TEXT, value TEXT);
CREATE TABLE certificates(cabinet_sha256 TEXT NOT NULL, source TEXT, store TEXT,
  thumbprint TEXT, subject TEXT, issuer TEXT, not_before TEXT, not_after TEXT);
CREATE TABLE signatures(cabinet_sha256 TEXT NOT NULL, verdict TEXT, signer TEXT, summary TEXT,
  trust TEXT);
CREATE TABLE programs(cabinet_sha256 TEXT NOT NULL, folder TEXT, name TEXT, cpu TEXT, kind TEXT,
  version TEXT, company TEXT, imports TEXT);
CREATE TABLE findings(cabinet_sha256 TEXT NOT NULL, rule TEXT, severity TEXT, title TEXT,
  location TEXT, why TEXT);
CREATE VIRTUAL TABLE search USING fts5(cabinet_sha256 UNINDEXED, body);
)sql" TESSARY_PACKAGES_TABLE R"sql(

CREATE VIEW setup_overview AS
SELECT c.path, c.sha256, c.status, c.format,
  (SELECT value FROM properties p WHERE p.cabinet_sha256 = c.sha256
     AND p.name = 'Software Name') AS name,
  (SELECT value FROM properties p WHERE p.cabinet_sha256 = c.sha256
     AND p.name = 'Company') AS company,
  (SELECT value FROM properties p WHERE p.cabinet_sha256 = c.sha256
     AND p.name = 'Processor') AS processor,
  s.verdict, s.signer,
  (SELECT count(*) FROM findings f WHERE f.cabinet_sha256 = c.sha256
     AND f.severity = 'Warning') AS warnings,
  (SELECT count(*) FROM findings f WHERE f.cabinet_sha256 = c.sha256
     AND f.severity = 'Notice') AS notices
FROM cabinets c LEFT JOIN signatures s ON s.cabinet_sha256 = c.sha256;
CREATE VIEW signed_setups AS
SELECT c.path, s.verdict, s.signer, s.summary FROM cabinets c
JOIN signatures s ON s.cabinet_sha256 = c.sha256 WHERE s.verdict <> 'Not signed';
CREATE VIEW certificates_added AS
SELECT c.path, t.store, t.thumbprint, t.subject, t.issuer, t.not_before, t.not_after
FROM cabinets c JOIN certificates t ON t.cabinet_sha256 = c.sha256
WHERE t.source = 'provisioning';
CREATE VIEW programs_by_cpu AS
SELECT c.path, p.cpu, p.folder, p.name, p.kind, p.version, p.company
FROM cabinets c JOIN programs p ON p.cabinet_sha256 = c.sha256;
CREATE VIEW shared_files AS
SELECT f.sha256, f.size, count(DISTINCT f.cabinet_sha256) AS setups, min(f.name) AS name
FROM files f WHERE f.sha256 <> '' GROUP BY f.sha256, f.size
HAVING count(DISTINCT f.cabinet_sha256) > 1;
CREATE VIEW damaged_cabinets AS
SELECT path, status, error FROM cabinets WHERE status <> 'read';
CREATE VIEW copies AS
SELECT path, copy_of, sha256 FROM cabinets WHERE copy_of IS NOT NULL;
)sql";

// The indexes of the setups' rows. A first load writes the rows without them and builds them
// at its end: one sorted pass instead of an insert at a random place for every row.
const char* const kFactIndexes[][2] = {
    {"properties_cabinet", "CREATE INDEX properties_cabinet ON properties(cabinet_sha256)"},
    {"files_cabinet", "CREATE INDEX files_cabinet ON files(cabinet_sha256)"},
    {"files_sha256", "CREATE INDEX files_sha256 ON files(sha256)"},
    {"shortcuts_cabinet", "CREATE INDEX shortcuts_cabinet ON shortcuts(cabinet_sha256)"},
    {"registry_cabinet", "CREATE INDEX registry_cabinet ON registry(cabinet_sha256)"},
    {"provisioning_cabinet", "CREATE INDEX provisioning_cabinet ON provisioning(cabinet_sha256)"},
    {"certificates_cabinet", "CREATE INDEX certificates_cabinet ON certificates(cabinet_sha256)"},
    {"certificates_thumbprint", "CREATE INDEX certificates_thumbprint ON certificates(thumbprint)"},
    {"signatures_cabinet", "CREATE INDEX signatures_cabinet ON signatures(cabinet_sha256)"},
    {"programs_cabinet", "CREATE INDEX programs_cabinet ON programs(cabinet_sha256)"},
    {"findings_cabinet", "CREATE INDEX findings_cabinet ON findings(cabinet_sha256)"},
};

int64_t PragmaNumber(TDatabase& db, const char* pragma) {
    TStatement s(db, std::string("PRAGMA ") + pragma);
    return s.Step() ? s.Number(0) : 0;
}

} // namespace

const std::vector<TFactTable>& FactTables() {
    static const std::vector<TFactTable> tables = {
        {"properties", {"name", "value"}},
        {"files", {"folder", "name", "entry", "size", "sha256", "version", "cpu"}},
        {"shortcuts", {"title", "file_name", "folder"}},
        {"registry", {"key", "name", "type", "value"}},
        {"provisioning", {"path", "value"}},
        {"certificates",
         {"source", "store", "thumbprint", "subject", "issuer", "not_before", "not_after"}},
        {"signatures", {"verdict", "signer", "summary", "trust"}},
        {"programs", {"folder", "name", "cpu", "kind", "version", "company", "imports"}},
        {"findings", {"rule", "severity", "title", "location", "why"}},
        {"search", {"body"}},
    };
    return tables;
}

namespace {

bool HasIndex(TDatabase& db, const std::string& name) {
    TStatement s(db, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1");
    s.Bind(1, name);
    return s.Step();
}

} // namespace

bool HasFactIndexes(TDatabase& db) {
    for (const auto& index : kFactIndexes)
        if (!HasIndex(db, index[0])) return false;
    return true;
}

void DropFactIndexes(TDatabase& db) {
    for (const auto& index : kFactIndexes)
        db.Exec(std::string("DROP INDEX IF EXISTS ") + index[0]);
}

void StartFirstLoad(TDatabase& db) {
    DropFactIndexes(db);
    // Rows appended without indexes touch each page once: a small cache, instead of the process
    // growing by the whole index (each page of fresh memory costs a fault).
    db.Exec("PRAGMA cache_size=-2048");
}

void BuildMissingFactIndexes(TDatabase& db) {
    if (HasFactIndexes(db)) return;
    db.StartWriting();
    db.Exec("BEGIN IMMEDIATE");
    // The statements of the schema itself, so that the file's schema reads as a new index's.
    for (const auto& index : kFactIndexes)
        if (!HasIndex(db, index[0])) db.Exec(index[1]);
    db.Exec("COMMIT");
}

void LeaveOneFile(TDatabase& db) {
    sqlite3_exec(db.Handle(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
}

void DropOrphanRows(TDatabase& db) {
    for (const TFactTable& table : FactTables())
        db.Exec(std::string("DELETE FROM ") + table.Name +
                " WHERE cabinet_sha256 NOT IN (SELECT sha256 FROM cabinets WHERE sha256 IS NOT "
                "NULL)");
}

TDatabase::TDatabase(const std::string& path, TOpenMode mode) : FPath(path) {
    const int flags = mode == TOpenMode::Write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                               : SQLITE_OPEN_READONLY;
    // SQLite takes file names in UTF-8 on every system.
    const int rc =
        sqlite3_open_v2(PathToUtf8(path).c_str(), &FDb, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const TCollectionError error = Error("cannot open the index", rc);
        sqlite3_close(FDb);
        FDb = nullptr;
        throw error;
    }
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_busy_timeout(FDb, 10000);
    try {
        const bool empty = [&] {
            TStatement s(*this, "SELECT count(*) FROM sqlite_master");
            return s.Step() && s.Number(0) == 0;
        }();
        const int64_t id = PragmaNumber(*this, "application_id");
        if (empty && id == 0 && mode == TOpenMode::Write)
            Create();
        else
            Check();
        if (mode == TOpenMode::Write) Upgrade();
    } catch (...) {
        sqlite3_close(FDb);
        FDb = nullptr;
        throw;
    }
}

void TDatabase::StartWriting() {
    if (FWriting) return;
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    // A run writes many small rows into several indexes: 64 MiB of pages kept.
    Exec("PRAGMA cache_size=-65536");
    FWriting = true;
}

TDatabase::~TDatabase() {
    if (FDb) sqlite3_close(FDb);
}

void TDatabase::Check() {
    if (PragmaNumber(*this, "application_id") != kApplicationId)
        throw TCollectionError(FPath + ": not a Tessary collection index", true);
    const int64_t version = PragmaNumber(*this, "user_version");
    if (version > kSchemaVersion)
        throw TCollectionError(FPath + ": made by a newer Tessary (index version " +
                                   std::to_string(version) + ", this one reads " +
                                   std::to_string(kSchemaVersion) + ")",
                               true);
    if (version < 1) throw TCollectionError(FPath + ": not a Tessary collection index", true);
    FVersion = version;
}

void TDatabase::Upgrade() {
    if (FVersion >= kSchemaVersion) return;
    // Version 1 lacks only the packages table; what it holds stays as it is.
    Exec("BEGIN IMMEDIATE");
    Exec(TESSARY_PACKAGES_TABLE);
    Exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
    Exec("COMMIT");
    FVersion = kSchemaVersion;
}

void TDatabase::Create() {
    // Set before the first table: an index is written in runs of thousands of rows, and a page
    // four times the default takes a quarter of the writes to the log and to the file.
    Exec("PRAGMA page_size=16384");
    Exec("BEGIN");
    Exec(kSchema);
    for (const auto& index : kFactIndexes)
        Exec(index[1]);
    Exec("PRAGMA application_id=" + std::to_string(kApplicationId));
    Exec("PRAGMA user_version=" + std::to_string(kSchemaVersion));
    Exec("COMMIT");
    FVersion = kSchemaVersion;
}

TCollectionError TDatabase::Error(const std::string& what, int code) const {
    const int primary = code & 0xFF;
    // A file that is not a database, or one whose pages are damaged, is no index to work on.
    const bool refused = primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT ||
                         primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY;
    std::string message = FPath + ": " + what + ": ";
    if (primary == SQLITE_NOTADB)
        message = FPath + ": not a Tessary collection index (" + sqlite3_errstr(code) + ")";
    else if (FDb && sqlite3_errcode(FDb) == code)
        message += sqlite3_errmsg(FDb);
    else
        message += sqlite3_errstr(code);
    return TCollectionError(message, refused);
}

void TDatabase::Exec(const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) throw Error("cannot update the index", rc);
}

TStatement::TStatement(TDatabase& db, const std::string& sql) : FDb(db) {
    const int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &FStmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(FStmt);
        FStmt = nullptr;
        throw db.Error("cannot read the index", rc);
    }
}

TStatement::~TStatement() {
    sqlite3_finalize(FStmt);
}

TStatement& TStatement::Bind(int index, const std::string& text) {
    // The texts outlive the step that reads them: no copy is made.
    sqlite3_bind_text(FStmt, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
}

TStatement& TStatement::Bind(int index, int64_t number) {
    sqlite3_bind_int64(FStmt, index, number);
    return *this;
}

TStatement& TStatement::BindNull(int index) {
    sqlite3_bind_null(FStmt, index);
    return *this;
}

bool TStatement::Step() {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const TCollectionError error = FDb.Error("cannot read or write the index", rc);
    sqlite3_reset(FStmt);
    throw error;
}

void TStatement::Run() {
    while (Step()) {
    }
    Reset();
}

void TStatement::Reset() {
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
}

std::string TStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(FStmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(FStmt, column)))
                : std::string();
}

int64_t TStatement::Number(int column) const {
    return sqlite3_column_int64(FStmt, column);
}

bool TStatement::IsNull(int column) const {
    return sqlite3_column_type(FStmt, column) == SQLITE_NULL;
}

int TStatement::Columns() const {
    return sqlite3_column_count(FStmt);
}

std::string TStatement::ColumnName(int column) const {
    const char* name = sqlite3_column_name(FStmt, column);
    return name ? name : "";
}

} // namespace collection
