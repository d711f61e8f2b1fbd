#include "collection/Collection.h"
#include "collection/LocalPath.h"
#include "collection/Record.h"

#include "cab/AsciiCase.h"
#include "compare/SetupFacts.h"
#include "package/Package.h"

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace collection {

namespace {

// What the index held for a path when the run began.
struct TKnownPath {
    int64_t Size = 0;
    int64_t MTime = 0;
    std::string Sha256;
    std::string Status;
};

// What the index holds for a content: the cabinet whose rows were read, its status.
struct TKnownContent {
    std::string Path;
    std::string Format;
    std::string Status;
    std::string Error;
};

// What the index held for a file that may hold setups.
struct TKnownPackage {
    int64_t Size = 0;
    int64_t MTime = 0;
    int64_t Setups = 0;
};

// A file read as a package: what it is, and the names of the setups found in it now.
struct TPackageRecord {
    std::string Path;
    int64_t Size = 0;
    int64_t MTime = 0;
    std::string Kind; // ContainerKindName, empty when the file holds no setup
    std::string Error;
    std::vector<std::string> Setups; // their "cabinets" paths
    bool Keep = false;               // recorded: it holds setups, or is named as packages are
    int64_t Unchanged = 0;           // the setups recorded in it, when it is unchanged
};

enum class TOutcome { Read, Unchanged, Copy, Problem, Package };

struct TResult {
    TOutcome Outcome = TOutcome::Problem;
    TCabinetRecord Record;
    bool Touch = false;      // Unchanged by content: size and time are written anew
    std::string KnownStatus; // Unchanged: the status recorded before
    std::string Search;      // Read: the full-text search's body, made by the reader
    std::string Problem;
    // A setup found inside a walked file, or that file's package record: not one of the walked
    // files themselves, so not counted as one.
    bool Inside = false;
    TPackageRecord Package; // Package
};

// The separator between a package's path and a setup's name inside it, as the tool's headings.
constexpr std::string_view kInside = " : ";

bool IsCabinetName(const fs::path& path) {
    const std::string extension = UpperCaseAscii(path.extension().string());
    return extension == ".CAB" || extension == ".CPF";
}

// What setups came in: self-extracting programs, archives and installer packages. An
// application manager's .ini is not taken: the cabinets it names are walked by their own names.
bool IsPackageName(const fs::path& path) {
    const std::string extension = UpperCaseAscii(path.extension().string());
    return extension == ".EXE" || extension == ".ZIP" || extension == ".MSI";
}

// A cabinet's bytes begin with "MSCF" and four reserved zero bytes.
bool LooksLikeCabinet(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char head[8] = {};
    if (!in.read(head, sizeof head)) return false;
    return head[0] == 'M' && head[1] == 'S' && head[2] == 'C' && head[3] == 'F' && head[4] == 0 &&
           head[5] == 0 && head[6] == 0 && head[7] == 0;
}

std::string Utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// The desktop path of a file found; empty when the system cannot name it so.
std::string Absolute(const fs::path& path) {
    std::error_code ec;
    const fs::path whole = fs::absolute(path, ec);
    return DesktopPath((ec ? path : whole).lexically_normal());
}

// The cabinets below the given paths, each once, sorted. A path named on its own is taken
// whatever its name.
std::vector<std::string> Walk(const TIndexOptions& options, std::vector<std::string>& problems,
                              std::set<std::string>& named) {
    std::set<std::string> found;
    const auto add = [&](const fs::path& path, bool given = false) {
        const std::string desktop = Absolute(path);
        if (desktop.empty())
            problems.push_back("cannot open " + Utf8Text(path) +
                               ": the system's code page cannot name it");
        else
            found.insert(desktop);
        if (given && !desktop.empty()) named.insert(desktop);
    };
    for (const std::string& given : options.Paths) {
        std::error_code ec;
        const fs::path start = FileSystemPath(given);
        const fs::file_status status = fs::status(start, ec);
        if (ec || !fs::exists(status)) {
            problems.push_back("cannot open " + given + ": no such file or folder");
            continue;
        }
        if (fs::is_regular_file(status)) {
            add(start, true);
            continue;
        }
        if (!fs::is_directory(status)) {
            problems.push_back("cannot open " + given + ": not a regular file or folder");
            continue;
        }
        fs::recursive_directory_iterator it(start, fs::directory_options::skip_permission_denied,
                                            ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::error_code typeError;
            if (!it->is_regular_file(typeError) || typeError) continue;
            if (IsCabinetName(it->path()) || IsPackageName(it->path()) || options.AllFiles)
                add(it->path());
        }
        if (ec) problems.push_back("cannot walk " + given + ": " + ec.message());
    }
    return {found.begin(), found.end()};
}

int64_t ModificationTime(const std::string& path, std::error_code& ec) {
    const auto time = fs::last_write_time(FileSystemPath(path), ec);
    return ec ? 0 : static_cast<int64_t>(time.time_since_epoch().count());
}

// The texts a full-text search finds a setup by.
std::string SearchBody(const TCabinetRecord& r) {
    std::string body;
    const auto add = [&](const std::string& text) {
        if (text.empty()) return;
        body += text;
        body += '\n';
    };
    for (const TNamedText& p : r.Properties)
        add(p.Value);
    for (const TFileRecord& f : r.Files) {
        add(f.Folder + f.Name);
        add(f.Version);
        add(f.Sha256);
    }
    for (const TShortcutRecord& s : r.Shortcuts) {
        add(s.Title);
        add(s.FileName);
    }
    for (const TRegistryRecord& v : r.Registry) {
        add(v.Key + "\\" + v.Name);
        add(v.Value);
    }
    for (const TNamedText& p : r.Provisioning) {
        add(p.Name);
        add(p.Value);
    }
    for (const TCertificateRecord& c : r.Certificates) {
        add(c.Thumbprint);
        add(c.Subject);
        add(c.Issuer);
        add(c.Store);
    }
    add(r.Signature.Signer);
    for (const TProgramRecord& p : r.Programs) {
        add(p.Company);
        add(p.Cpu);
        add(p.Imports);
    }
    for (const TFindingRecord& f : r.Findings) {
        add(f.Rule);
        add(f.Title);
    }
    return body;
}

class TWriter {
  public:
    explicit TWriter(TDatabase& db)
        : FDb(db),
          FUpsert(db, "INSERT INTO cabinets(path, size, mtime, sha256, format, status, error, "
                      "copy_of) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(path) DO "
                      "UPDATE SET size = ?2, mtime = ?3, sha256 = ?4, format = ?5, status = ?6, "
                      "error = ?7, copy_of = ?8, indexed_at = "
                      "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')"),
          FTouch(db, "UPDATE cabinets SET size = ?2, mtime = ?3 WHERE path = ?1"),
          FPackage(db, "INSERT INTO packages(path, size, mtime, kind, setups, error) VALUES(?1, "
                       "?2, ?3, ?4, ?5, ?6) ON CONFLICT(path) DO UPDATE SET size = ?2, mtime = ?3, "
                       "kind = ?4, setups = ?5, error = ?6, indexed_at = "
                       "strftime('%Y-%m-%dT%H:%M:%SZ', 'now')"),
          FInside(db, "SELECT path, sha256 FROM cabinets WHERE substr(path, 1, length(?1)) = ?1"),
          FForget(db, "DELETE FROM cabinets WHERE path = ?1") {
        for (const TFactTable& table : FactTables()) {
            std::string columns = "cabinet_sha256", marks = "?1";
            for (size_t i = 0; i < table.Columns.size(); ++i) {
                columns += std::string(", ") + table.Columns[i];
                marks += ", ?" + std::to_string(i + 2);
            }
            FInserts.emplace(table.Name, std::make_unique<TStatement>(
                                             db, std::string("INSERT INTO ") + table.Name + "(" +
                                                     columns + ") VALUES(" + marks + ")"));
            FDeletes.emplace(table.Name, std::make_unique<TStatement>(
                                             db, std::string("DELETE FROM ") + table.Name +
                                                     " WHERE cabinet_sha256 = ?1"));
        }
    }

    void Cabinet(const TCabinetRecord& r, const std::string& copyOf) {
        // Bound without a copy: the texts live until the statement has run.
        const std::string path = PathToUtf8(r.Path), original = PathToUtf8(copyOf);
        FUpsert.Bind(1, path).Bind(2, r.Size).Bind(3, r.MTime);
        if (r.Sha256.empty())
            FUpsert.BindNull(4);
        else
            FUpsert.Bind(4, r.Sha256);
        if (r.Format.empty())
            FUpsert.BindNull(5);
        else
            FUpsert.Bind(5, r.Format);
        const std::string status = StatusText(r.Status);
        FUpsert.Bind(6, status);
        if (r.Error.empty())
            FUpsert.BindNull(7);
        else
            FUpsert.Bind(7, r.Error);
        if (copyOf.empty())
            FUpsert.BindNull(8);
        else
            FUpsert.Bind(8, original);
        FUpsert.Run();
    }

    void Touch(const TCabinetRecord& r) {
        const std::string path = PathToUtf8(r.Path);
        FTouch.Bind(1, path).Bind(2, r.Size).Bind(3, r.MTime);
        FTouch.Run();
    }

    // A content's rows are written once: a content the index holds is recorded as a copy, and
    // one no cabinet holds any more is removed at once (Release), so none is there already.
    void Facts(const TCabinetRecord& r, const std::string& searchBody) {
        if (r.Sha256.empty()) return;
        const auto insert = [&](const char* table, const auto&... values) {
            TStatement& s = *FInserts.find(table)->second;
            s.BindAll(r.Sha256, values...);
            s.Run();
        };
        for (const TNamedText& p : r.Properties)
            insert("properties", p.Name, p.Value);
        for (const TFileRecord& f : r.Files)
            insert("files", f.Folder, f.Name, f.Entry, f.Size, f.Sha256, f.Version, f.Cpu);
        for (const TShortcutRecord& s : r.Shortcuts)
            insert("shortcuts", s.Title, s.FileName, s.Folder);
        for (const TRegistryRecord& v : r.Registry)
            insert("registry", v.Key, v.Name, v.Type, v.Value);
        for (const TNamedText& p : r.Provisioning)
            insert("provisioning", p.Name, p.Value);
        for (const TCertificateRecord& c : r.Certificates)
            insert("certificates", c.Source, c.Store, c.Thumbprint, c.Subject, c.Issuer,
                   c.NotBefore, c.NotAfter);
        if (r.Status == TCabinetStatus::Read)
            insert("signatures", r.Signature.Verdict, r.Signature.Signer, r.Signature.Summary,
                   r.Signature.Trust);
        for (const TProgramRecord& p : r.Programs)
            insert("programs", p.Folder, p.Name, p.Cpu, p.Kind, p.Version, p.Company, p.Imports);
        for (const TFindingRecord& f : r.Findings)
            insert("findings", f.Rule, f.Severity, f.Title, f.Where, f.Why);
        insert("search", searchBody);
    }

    void Package(const TPackageRecord& p) {
        const std::string path = PathToUtf8(p.Path);
        FPackage.Bind(1, path).Bind(2, p.Size).Bind(3, p.MTime).Bind(4, p.Kind);
        FPackage.Bind(5, static_cast<int64_t>(p.Setups.size())).Bind(6, p.Error);
        FPackage.Run();
    }

    // Removes the rows of the setups a package held before and holds no more; the contents of
    // those, with their paths.
    std::vector<std::pair<std::string, std::string>> DropGoneSetups(const TPackageRecord& p) {
        const std::string prefix = PathToUtf8(p.Path) + std::string(kInside);
        std::set<std::string> now;
        for (const std::string& path : p.Setups)
            now.insert(PathToUtf8(path));
        std::vector<std::pair<std::string, std::string>> gone;
        FInside.Bind(1, prefix);
        while (FInside.Step())
            if (!now.count(FInside.Text(0))) gone.emplace_back(FInside.Text(0), FInside.Text(1));
        FInside.Reset();
        for (const auto& [path, sha256] : gone) {
            FForget.Bind(1, path);
            FForget.Run();
        }
        return gone;
    }

    // Removes a content's rows when no cabinet holds it any more; true when removed.
    bool Release(const std::string& sha256) {
        if (sha256.empty()) return false;
        FHeld.Bind(1, sha256);
        const bool held = FHeld.Step();
        FHeld.Reset();
        if (held) return false;
        for (auto& [name, statement] : FDeletes) {
            statement->Bind(1, sha256);
            statement->Run();
        }
        return true;
    }

  private:
    TDatabase& FDb;
    TStatement FHeld{FDb, "SELECT 1 FROM cabinets WHERE sha256 = ?1 LIMIT 1"};
    TStatement FUpsert;
    TStatement FTouch;
    TStatement FPackage;
    TStatement FInside;
    TStatement FForget;
    std::map<std::string, std::unique_ptr<TStatement>, std::less<>> FInserts;
    std::map<std::string, std::unique_ptr<TStatement>> FDeletes;
};

class TRun {
  public:
    TRun(TDatabase& db, const TIndexOptions& options) : FDb(db), FOptions(options) {
        TStatement paths(db, "SELECT path, size, mtime, sha256, status, format, error, copy_of "
                             "FROM cabinets");
        while (paths.Step()) {
            // Kept as the walk names files; a path the system cannot name is found by none.
            const std::string path = PathFromUtf8(paths.Text(0));
            if (path.empty()) continue;
            FKnownPaths[path] = {paths.Number(1), paths.Number(2), paths.Text(3), paths.Text(4)};
            if (paths.IsNull(3)) continue;
            // A copy stands for its content too, but the cabinet its rows were read from wins.
            TKnownContent content{path, paths.Text(5), paths.Text(4), paths.Text(6)};
            auto [it, added] = FKnownContents.emplace(paths.Text(3), content);
            if (!added && paths.IsNull(7)) it->second = content;
        }
        TStatement packages(db, "SELECT path, size, mtime, setups FROM packages");
        while (packages.Step()) {
            const std::string path = PathFromUtf8(packages.Text(0));
            if (!path.empty())
                FKnownPackages[path] = {packages.Number(1), packages.Number(2), packages.Number(3)};
        }
    }

    TIndexSummary Go() {
        TIndexSummary summary;
        FPaths = Walk(FOptions, summary.Problems, FNamed);
        summary.Found = FPaths.size();
        unsigned readers =
            FOptions.Readers ? FOptions.Readers : std::thread::hardware_concurrency();
        readers = std::max(1u, std::min<unsigned>(readers, std::max<size_t>(FPaths.size(), 1)));
        std::vector<std::thread> threads;
        try {
            for (unsigned i = 0; i < readers; ++i)
                threads.emplace_back([this] { ReadLoop(); });
        } catch (const std::system_error&) {
            if (threads.empty()) threads.emplace_back([this] { ReadLoop(); });
        }
        try {
            WriteLoop(summary, threads.size());
        } catch (...) {
            FStop = true;
            FRoom.notify_all();
            for (std::thread& t : threads)
                t.join();
            throw;
        }
        for (std::thread& t : threads)
            t.join();
        summary.Cancelled = Cancelled() && FSettled < FPaths.size();
        return summary;
    }

  private:
    [[nodiscard]] bool Cancelled() const { return FOptions.Cancel && FOptions.Cancel->load(); }

    // The cabinet at readFrom, recorded as path (a setup in a package: where the package put it,
    // and its name with the package's), with the package's time when it is in one.
    TResult ReadOne(const std::string& path, const std::string& readFrom,
                    std::optional<int64_t> mtime) {
        TResult result;
        TCabinetRecord& r = result.Record;
        r.Path = path;
        std::error_code ec;
        r.Size = static_cast<int64_t>(fs::file_size(FileSystemPath(readFrom), ec));
        if (!ec) r.MTime = mtime ? *mtime : ModificationTime(readFrom, ec);
        if (ec) {
            result.Problem = "cannot open " + path + ": " + ec.message();
            return result;
        }
        const auto known = FKnownPaths.find(path);
        if (known != FKnownPaths.end() && !FOptions.Rehash && known->second.Size == r.Size &&
            known->second.MTime == r.MTime) {
            result.Outcome = TOutcome::Unchanged;
            result.KnownStatus = known->second.Status;
            return result;
        }
        std::string why;
        r.Sha256 = FileSha256(readFrom, why);
        if (r.Sha256.empty()) {
            result.Outcome = TOutcome::Read;
            r.Status = TCabinetStatus::Damaged;
            r.Error = why;
            return result;
        }
        if (known != FKnownPaths.end() && known->second.Sha256 == r.Sha256) {
            result.Outcome = TOutcome::Unchanged;
            result.Touch = true;
            result.KnownStatus = known->second.Status;
            return result;
        }
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FKnownContents.count(r.Sha256) || !FClaimed.insert(r.Sha256).second) {
                result.Outcome = TOutcome::Copy;
                return result;
            }
        }
        r.Path = readFrom;
        ReadCabinetRecord(r);
        r.Path = path;
        result.Search = SearchBody(r);
        result.Outcome = TOutcome::Read;
        return result;
    }

    // A walked file as results: a cabinet's, then, for a file that holds setups, one per setup
    // and the package's own.
    std::vector<TResult> ReadPath(const std::string& path) {
        std::vector<TResult> results;
        const fs::path file = FileSystemPath(path);
        const bool packageName = IsPackageName(file);
        // A file named on its own is taken as a cabinet whatever its name, unless it holds
        // setups.
        const bool cabinet = IsCabinetName(file) || LooksLikeCabinet(file);
        if (!packageName && cabinet) {
            results.push_back(ReadOne(path, path, std::nullopt));
            // A cabinet that is no setup may carry setups, as a runtime's installer does.
            TResult& cabinet = results.front();
            const auto known = FKnownPackages.find(path);
            if (cabinet.Outcome == TOutcome::Unchanged && known != FKnownPackages.end())
                cabinet.Package.Unchanged = known->second.Setups;
            if (cabinet.Outcome != TOutcome::Read ||
                cabinet.Record.Status != TCabinetStatus::NotSetup)
                return results;
        }
        // A cabinet's package row is kept only while it holds setups, to drop them when it
        // changes.
        ReadPackage(path, packageName || FKnownPackages.count(path), results);
        if (!cabinet && !packageName && FNamed.count(path) && results.back().Package.Setups.empty())
            results = {ReadOne(path, path, std::nullopt)};
        return results;
    }

    // keep: the package is recorded even when it holds no setup (a file named as packages are,
    // so that the next run passes it by while it is unchanged, or one that held setups before).
    void ReadPackage(const std::string& path, bool keep, std::vector<TResult>& results) {
        TResult result;
        result.Outcome = TOutcome::Package;
        result.Inside = !results.empty(); // the cabinet's own result stands for the file
        TPackageRecord& p = result.Package;
        p.Path = path;
        std::error_code ec;
        p.Size = static_cast<int64_t>(fs::file_size(FileSystemPath(path), ec));
        if (!ec) p.MTime = ModificationTime(path, ec);
        if (ec) {
            result.Outcome = TOutcome::Problem;
            result.Problem = "cannot open " + path + ": " + ec.message();
            results.push_back(std::move(result));
            return;
        }
        const auto known = FKnownPackages.find(path);
        if (results.empty() && known != FKnownPackages.end() && !FOptions.Rehash &&
            known->second.Size == p.Size && known->second.MTime == p.MTime) {
            result.Outcome = TOutcome::Unchanged;
            p.Unchanged = known->second.Setups;
            results.push_back(std::move(result));
            return;
        }
        // Its private folder, with the setups taken out, lives until they are all read.
        std::unique_ptr<TPackage> package;
        try {
            package = OpenPackage(path);
        } catch (const std::exception& e) {
            // Out of memory on a hostile package: said for it, the run goes on (this is a
            // reader thread, which nothing above would catch).
            result.Outcome = TOutcome::Problem;
            result.Problem = "cannot open " + path + " as a package: " + e.what();
            results.push_back(std::move(result));
            return;
        }
        if (package->IsContainer()) p.Kind = ContainerKindName(package->Kind);
        p.Error = package->Error;
        for (const TContainedSetup& setup : package->Setups) {
            if (setup.CabinetPath.empty()) continue;
            TResult inside =
                ReadOne(path + std::string(kInside) + setup.PathInside, setup.CabinetPath, p.MTime);
            inside.Inside = true;
            if (inside.Outcome != TOutcome::Problem) p.Setups.push_back(inside.Record.Path);
            results.push_back(std::move(inside));
        }
        p.Keep = keep || !p.Setups.empty();
        results.push_back(std::move(result));
    }

    void ReadLoop() {
        for (;;) {
            if (FStop || Cancelled()) break;
            const size_t i = FNext.fetch_add(1);
            if (i >= FPaths.size()) break;
            std::vector<TResult> results = ReadPath(FPaths[i]);
            std::unique_lock<std::mutex> lock(FMutex);
            // A bounded queue: readers wait while the writer is behind.
            FRoom.wait(lock, [&] { return FStop || FQueue.size() < kQueueLimit; });
            if (FStop) break;
            for (TResult& result : results)
                FQueue.push_back(std::move(result));
            FReady.notify_one();
        }
        std::lock_guard<std::mutex> lock(FMutex);
        ++FReadersDone;
        FReady.notify_one();
    }

    void WriteLoop(TIndexSummary& summary, size_t readers) {
        // Made at the first cabinet that changes the index: a run over an unchanged collection
        // writes nothing, not even the switch to the write-ahead log.
        std::unique_ptr<TWriter> writer;
        bool open = false;
        const auto begin = [&]() -> TWriter& {
            if (!open) {
                FDb.StartWriting();
                FDb.Exec("BEGIN IMMEDIATE");
                open = true;
            }
            if (!writer) {
                // A first load, or the rest of one that was killed: the rows go in without the
                // indexes on them, which the end of the run builds.
                if (FKnownPaths.empty() || !HasFactIndexes(FDb)) StartFirstLoad(FDb);
                writer = std::make_unique<TWriter>(FDb);
            }
            return *writer;
        };
        std::vector<TResult> pending; // copies of contents not written yet
        size_t inBatch = 0;
        for (;;) {
            TResult result;
            {
                std::unique_lock<std::mutex> lock(FMutex);
                FReady.wait(lock, [&] { return !FQueue.empty() || FReadersDone == readers; });
                if (FQueue.empty()) break;
                result = std::move(FQueue.front());
                FQueue.pop_front();
                FRoom.notify_one();
            }
            if (!Settle(begin, result, summary)) pending.push_back(std::move(result));
            if (Cancelled()) {
                // What the readers hold beyond this is read again by the next run.
                std::lock_guard<std::mutex> lock(FMutex);
                FStop = true;
                FRoom.notify_all();
                FQueue.clear();
                break;
            }
            if (++inBatch >= FOptions.BatchSize) {
                if (open) FDb.Exec("COMMIT");
                open = false;
                inBatch = 0;
            }
        }
        // Their originals are all written now, unless the run was cancelled before them.
        for (TResult& result : pending)
            if (!Cancelled() && !Settle(begin, result, summary))
                // Its content's only other cabinet changed during the run.
                summary.Problems.push_back(result.Record.Path +
                                           ": not indexed, its content changed while the run "
                                           "read it; run again");
        if (open) FDb.Exec("COMMIT");
    }

    // The content a path held before, when it held another: its rows go when no cabinet holds
    // it any more, and a later cabinet of that content is read afresh.
    void Replaced(TWriter& writer, const TCabinetRecord& r) {
        const auto known = FKnownPaths.find(r.Path);
        if (known == FKnownPaths.end() || known->second.Sha256 == r.Sha256) return;
        if (!writer.Release(known->second.Sha256)) return;
        std::lock_guard<std::mutex> lock(FMutex);
        FKnownContents.erase(known->second.Sha256);
    }

    static void Count(const std::string& status, TIndexSummary& summary) {
        if (status == StatusText(TCabinetStatus::Damaged)) ++summary.Damaged;
        if (status == StatusText(TCabinetStatus::NotSetup)) ++summary.NotSetups;
    }

    // false: a copy whose original is not written yet.
    // begin: the writer, in a transaction.
    template <typename TBegin> bool Settle(TBegin& begin, TResult& result, TIndexSummary& summary) {
        TCabinetRecord& r = result.Record;
        switch (result.Outcome) {
        case TOutcome::Problem:
            summary.Problems.push_back(result.Problem);
            break;
        case TOutcome::Unchanged:
            if (result.Touch) begin().Touch(r);
            ++summary.Unchanged;
            if (result.Package.Unchanged > 0) {
                ++summary.Packages;
                summary.InPackages += static_cast<size_t>(result.Package.Unchanged);
            }
            Count(result.KnownStatus, summary);
            break;
        case TOutcome::Read: {
            TWriter& writer = begin();
            writer.Facts(r, result.Search);
            writer.Cabinet(r, {});
            Replaced(writer, r);
            if (!r.Sha256.empty()) {
                std::lock_guard<std::mutex> lock(FMutex);
                FKnownContents[r.Sha256] = {r.Path, r.Format, StatusText(r.Status), r.Error};
            }
            ++summary.Read;
            Count(StatusText(r.Status), summary);
            break;
        }
        case TOutcome::Package:
            SettlePackage(begin, result.Package, summary);
            break;
        case TOutcome::Copy: {
            TKnownContent original;
            {
                std::lock_guard<std::mutex> lock(FMutex);
                const auto it = FKnownContents.find(r.Sha256);
                if (it == FKnownContents.end()) return false;
                original = it->second;
            }
            r.Format = original.Format;
            r.Status = original.Status == "read"      ? TCabinetStatus::Read
                       : original.Status == "damaged" ? TCabinetStatus::Damaged
                                                      : TCabinetStatus::NotSetup;
            r.Error = original.Error;
            TWriter& writer = begin();
            writer.Cabinet(r, original.Path == r.Path ? std::string() : original.Path);
            Replaced(writer, r);
            ++summary.Copies;
            Count(StatusText(r.Status), summary);
            break;
        }
        }
        if (result.Inside) return true;
        ++FSettled;
        if (FOptions.Progress)
            FOptions.Progress({FSettled, FPaths.size(),
                               result.Outcome == TOutcome::Package ? result.Package.Path : r.Path});
        return true;
    }

    // Its setups are written before it: the rows of those it no longer holds go now, and their
    // contents with them when no other cabinet holds them.
    template <typename TBegin>
    void SettlePackage(TBegin& begin, const TPackageRecord& p, TIndexSummary& summary) {
        if (!p.Keep) return;
        TWriter& writer = begin();
        writer.Package(p);
        for (const auto& [path, sha256] : writer.DropGoneSetups(p))
            if (writer.Release(sha256)) {
                std::lock_guard<std::mutex> lock(FMutex);
                FKnownContents.erase(sha256);
            }
        if (!p.Setups.empty()) {
            ++summary.Packages;
            summary.InPackages += p.Setups.size();
        }
    }

    static constexpr size_t kQueueLimit = 256;
    TDatabase& FDb;
    const TIndexOptions& FOptions;
    std::vector<std::string> FPaths;
    std::set<std::string> FNamed; // the paths given as files, not found in a folder
    std::map<std::string, TKnownPath> FKnownPaths;       // read by readers, never changed
    std::map<std::string, TKnownPackage> FKnownPackages; // the same
    std::map<std::string, TKnownContent> FKnownContents; // under FMutex once readers run
    std::set<std::string> FClaimed;
    std::mutex FMutex;
    std::condition_variable FReady, FRoom;
    std::deque<TResult> FQueue;
    size_t FReadersDone = 0;
    std::atomic<size_t> FNext{0};
    std::atomic<bool> FStop{false};
    size_t FSettled = 0;
};

} // namespace

std::vector<TIndexedCabinet> IndexedCabinets(const std::string& db) {
    TDatabase database(db, TOpenMode::ReadOnly);
    // An index of the first version has no packages.
    std::set<std::string> packages;
    {
        TStatement has(database, "SELECT 1 FROM sqlite_master WHERE name = 'packages'");
        if (has.Step()) {
            TStatement s(database, "SELECT path FROM packages WHERE setups > 0");
            while (s.Step())
                packages.insert(s.Text(0));
        }
    }
    TStatement s(database, "SELECT path, size, mtime, sha256, status, error, copy_of FROM "
                           "cabinets ORDER BY path");
    std::vector<TIndexedCabinet> cabinets;
    while (s.Step()) {
        const std::string copyOf = s.Text(6);
        // Braces, not emplace_back's parentheses: every compiler the project builds with takes
        // them for an aggregate.
        cabinets.push_back({PathFromUtf8(s.Text(0)), s.Number(1), s.Number(2), s.Text(3), s.Text(4),
                            s.Text(5), copyOf.empty() ? copyOf : PathFromUtf8(copyOf)});
        TIndexedCabinet& c = cabinets.back();
        // The package is the part before one of the separators that names a package recorded.
        const std::string path = s.Text(0);
        for (size_t at = path.find(kInside); at != std::string::npos;
             at = path.find(kInside, at + 1))
            if (packages.count(path.substr(0, at))) {
                c.Package = PathFromUtf8(path.substr(0, at));
                c.Inside = path.substr(at + kInside.size());
                break;
            }
    }
    return cabinets;
}

TReadableCabinet LocateIndexedCabinet(const TIndexedCabinet& cabinet) {
    TReadableCabinet readable;
    if (cabinet.Package.empty()) {
        readable.Path = cabinet.Path;
        return readable;
    }
    std::error_code ec;
    if (!fs::is_regular_file(FileSystemPath(cabinet.Package), ec)) {
        readable.Why = "its package " + cabinet.Package + ": no such file";
        return readable;
    }
    readable.Package = OpenPackage(cabinet.Package);
    for (const TContainedSetup& setup : readable.Package->Setups)
        if (setup.PathInside == cabinet.Inside && !setup.CabinetPath.empty()) {
            readable.Path = setup.CabinetPath;
            return readable;
        }
    readable.Why = "its package no longer holds " + cabinet.Inside;
    return readable;
}

bool SplitPackagePath(const std::string& path, std::string& package, std::string& inside) {
    std::error_code ec;
    if (fs::is_regular_file(FileSystemPath(path), ec)) return false;
    for (size_t at = path.find(kInside); at != std::string::npos; at = path.find(kInside, at + 1))
        if (fs::is_regular_file(FileSystemPath(path.substr(0, at)), ec)) {
            package = path.substr(0, at);
            inside = path.substr(at + kInside.size());
            return true;
        }
    return false;
}

std::string ChangedSinceIndexed(const TIndexedCabinet& cabinet, const std::string& readFrom) {
    const std::string& path = readFrom.empty() ? cabinet.Path : readFrom;
    std::error_code ec;
    const fs::file_status status = fs::status(FileSystemPath(path), ec);
    if (ec || !fs::exists(status)) return "no such file";
    if (!fs::is_regular_file(status)) return "not a regular file";
    // Hashed even when size and time are as recorded: what is written is named by the content.
    std::string why;
    const std::string sha256 = FileSha256(path, why);
    if (sha256.empty()) return why;
    return sha256 == cabinet.Sha256 ? std::string() : "its content changed since it was indexed";
}

TIndexSummary IndexCollection(const std::string& db, const TIndexOptions& options) {
    TDatabase database(db, TOpenMode::Write);
    TRun run(database, options);
    const TIndexSummary summary = run.Go();
    BuildMissingFactIndexes(database);
    LeaveOneFile(database);
    return summary;
}

} // namespace collection
