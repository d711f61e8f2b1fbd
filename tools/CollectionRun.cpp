#include "tools/CollectionRun.h"

#include "cab/FileSystem.h"
#include "cab/PlainText.h"
#include "collection/Collection.h"
#include "tools/Inventory.h"
#include "tools/JsonWriter.h"
#include "tools/ProgressTerminal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <optional>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

void PrintError(const std::string& text) {
    std::fprintf(stderr, "tessary-info: %s\n", PlainText(text).c_str());
}

// "123/2000  41.0/s  /path/to/Setup.cab" on one line, redrawn in place.
class TProgressLine {
  public:
    explicit TProgressLine(std::string eraser)
        : FEraser(std::move(eraser)), FStart(std::chrono::steady_clock::now()) {}
    void Show(const collection::TIndexProgress& p) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
        char head[64];
        std::snprintf(head, sizeof head, "%zu/%zu  %.1f/s  ", p.Done, p.Total,
                      seconds > 0 ? static_cast<double>(p.Done) / seconds : 0.0);
        std::string line = head + PlainText(p.Current);
        if (line.size() > 100) line = line.substr(0, 40) + "..." + line.substr(line.size() - 57);
        std::fprintf(stderr, "%s%s", FEraser.c_str(), line.c_str());
        FShown = true;
    }
    ~TProgressLine() {
        if (FShown) std::fputs(FEraser.c_str(), stderr);
    }

  private:
    std::string FEraser;
    std::chrono::steady_clock::time_point FStart;
    bool FShown = false;
};

int Index(const Options& o, const std::string& db) {
    collection::TIndexOptions options;
    options.Paths = o.Files;
    options.AllFiles = o.AllFiles;
    options.Rehash = o.Rehash;
    options.Readers = o.Readers;
    options.Cancel = &gInterrupted;
    std::optional<TProgressLine> progress;
    if (std::optional<std::string> eraser = ProgressLineEraser()) {
        progress.emplace(std::move(*eraser));
        options.Progress = [&](const collection::TIndexProgress& p) { progress->Show(p); };
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const collection::TIndexSummary s = collection::IndexCollection(db, options);
    progress.reset();
    for (const std::string& problem : s.Problems)
        PrintError(problem);
    std::cout << "Indexed " << s.Found;
    if (s.Packages == 0)
        std::cout << (s.Found == 1 ? " cabinet" : " cabinets");
    else
        std::cout << (s.Found == 1 ? " file" : " files") << " (" << s.Packages
                  << (s.Packages == 1 ? " package" : " packages") << " holding " << s.InPackages
                  << (s.InPackages == 1 ? " setup" : " setups") << ")";
    std::cout << ": " << s.Read << " read, " << s.Unchanged << " unchanged, " << s.Copies
              << (s.Copies == 1 ? " copy" : " copies") << ", " << s.Damaged << " damaged, "
              << s.NotSetups << " not setups\n";
    if (s.Cancelled) {
        PrintError("interrupted: the index keeps what was read; run the same command again to "
                   "go on");
        return kExitFailure;
    }
    return s.Damaged > 0 || s.NotSetups > 0 || !s.Problems.empty() ? kExitFailure : 0;
}

void WriteHit(TJsonWriter& out, const collection::TQueryHit& h) {
    out.BeginObject();
    const auto text = [&](const char* key, const std::string& value) {
        out.Key(key);
        if (value.empty())
            out.Null();
        else
            out.String(value);
    };
    text("path", h.Path);
    text("sha256", h.Sha256);
    text("status", h.Status);
    text("name", h.Name);
    text("company", h.Company);
    text("processor", h.Processor);
    text("signature", h.Verdict);
    text("signer", h.Signer);
    out.Key("warnings");
    out.Int(h.Warnings);
    out.Key("notices");
    out.Int(h.Notices);
    out.EndObject();
}

void Emit(const TJsonWriter& out) {
    std::cout.write(out.Text().data(), static_cast<std::streamsize>(out.Text().size()));
}

int Query(const Options& o, const std::string& db) {
    const std::vector<collection::TQueryHit> hits = collection::QueryCollection(db, o.Files);
    if (o.Json && o.Labelled) {
        for (const collection::TQueryHit& h : hits) {
            TJsonWriter out;
            WriteHit(out, h);
            out.Put('\n');
            Emit(out);
        }
    } else if (o.Json) {
        TJsonWriter out;
        out.BeginObject();
        out.Key("query");
        out.BeginArray();
        for (const std::string& word : o.Files)
            out.String(word);
        out.EndArray();
        out.Key("hits");
        out.BeginArray();
        for (const collection::TQueryHit& h : hits)
            WriteHit(out, h);
        out.EndArray();
        out.EndObject();
        out.Put('\n');
        Emit(out);
    } else {
        for (const collection::TQueryHit& h : hits)
            std::cout << PlainText(h.Path) << '\t' << PlainText(h.Name) << '\t'
                      << PlainText(h.Company) << '\t' << PlainText(h.Processor) << '\t'
                      << PlainText(h.Verdict) << '\t' << PlainText(h.Signer) << '\t' << h.Warnings
                      << (h.Warnings == 1 ? " warning\n" : " warnings\n");
    }
    return 0;
}

int Sql(const Options& o, const std::string& db) {
    std::vector<std::string> names;
    bool first = true;
    collection::RunSql(
        db, o.Files[0], [&](const std::vector<std::string>& columns) { names = columns; },
        [&](const collection::TSqlRow& row) {
            if (o.Json) {
                TJsonWriter out;
                out.BeginObject();
                for (size_t i = 0; i < row.size(); ++i) {
                    out.Key(names[i]);
                    if (row[i])
                        out.String(*row[i]);
                    else
                        out.Null();
                }
                out.EndObject();
                out.Put('\n');
                Emit(out);
                return;
            }
            if (first) {
                for (size_t i = 0; i < names.size(); ++i)
                    std::cout << (i ? "\t" : "") << PlainText(names[i]);
                std::cout << '\n';
                first = false;
            }
            for (size_t i = 0; i < row.size(); ++i)
                std::cout << (i ? "\t" : "") << (row[i] ? PlainText(*row[i]) : "NULL");
            std::cout << '\n';
        });
    return 0;
}

int Merge(const Options& o, const std::string& db) {
    const collection::TMergeSummary s = collection::MergeCollections(db, o.Files);
    std::cout << "Merged " << o.Files.size() << (o.Files.size() == 1 ? " index" : " indexes")
              << ": " << s.Cabinets << " cabinets, " << s.Setups << " setups taken over\n";
    return 0;
}

// The cabinets of each content the index read as a setup, the one its rows were read from first.
std::map<std::string, std::vector<const collection::TIndexedCabinet*>>
SetupsByContent(const std::vector<collection::TIndexedCabinet>& cabinets, int& status) {
    std::map<std::string, std::vector<const collection::TIndexedCabinet*>> byContent;
    for (const collection::TIndexedCabinet& c : cabinets) {
        if (c.Status != "read" || c.Sha256.empty()) continue;
        auto& paths = byContent[c.Sha256];
        paths.insert(c.CopyOf.empty() ? paths.begin() : paths.end(), &c);
    }
    for (const collection::TIndexedCabinet& c : cabinets)
        if (c.Status != "read" && c.CopyOf.empty()) {
            PrintError(c.Path + ": not written: indexed as " + c.Status +
                       (c.Error.empty() ? "" : ": " + c.Error));
            status = kExitFailure;
        }
    return byContent;
}

int Inventory(const Options& o, const std::string& db, const std::string& folder) {
    const std::vector<collection::TIndexedCabinet> cabinets = collection::IndexedCabinets(db);
    int status = 0;
    const auto byContent = SetupsByContent(cabinets, status);
    if (!byContent.empty()) {
        if (!ForceDirectories(folder)) {
            PrintError("cannot make the folder " + folder);
            return kExitFailure;
        }
    }
    const char* suffix = o.Manifest ? ".hashdeep" : ".cdx.json";
    for (const auto& [sha256, paths] : byContent) {
        // The first of its paths that still holds the content indexed; each other one said.
        std::string text;
        const collection::TIndexedCabinet* source = nullptr;
        int made = 0;
        for (const collection::TIndexedCabinet* c : paths) {
            // A setup in a package is taken out of it again.
            const collection::TReadableCabinet readable = collection::LocateIndexedCabinet(*c);
            std::string why = readable.Path.empty()
                                  ? readable.Why
                                  : collection::ChangedSinceIndexed(*c, readable.Path);
            if (why.empty()) {
                made =
                    o.Manifest ? MakeManifest(readable.Path, text) : MakeSbom(readable.Path, text);
                // Read whole, then checked again: a file replaced while it was read is not
                // written under the content it no longer has.
                why = text.empty() ? "cannot be read"
                                   : collection::ChangedSinceIndexed(*c, readable.Path);
            }
            if (why.empty()) {
                source = c;
                break;
            }
            PrintError(c->Path + ": moved or changed since it was indexed (" + why + ")");
            text.clear();
        }
        if (!source) {
            PrintError(sha256 + ": not written: no path the index records for it still holds it");
            status = kExitFailure;
            continue;
        }
        const std::string target = (std::filesystem::path(folder) / (sha256 + suffix)).string();
        const TWriteResult written = WriteFileSafely(target, text);
        if (!written.Ok) {
            PrintError(written.Message);
            return kExitFailure;
        }
        std::cout << PlainText(target) << '\t' << PlainText(source->Path) << '\n';
        status = std::max(status, made);
    }
    return status;
}

// A command's status, its failure said and never thrown.
template <typename TCommand> int Guarded(const TCommand& command) {
    try {
        return command();
    } catch (const collection::TCollectionError& e) {
        PrintError(e.what());
        return e.Refused ? kExitUsage : kExitFailure;
    } catch (const std::bad_alloc&) {
        PrintError("out of memory");
    } catch (const std::exception& e) {
        PrintError(e.what());
    }
    return kExitFailure;
}

} // namespace

int WriteCollectionInventory(const Options& o) {
    return Guarded([&] { return Inventory(o, o.Files.at(0), o.Values.at("--into")); });
}

int RunCollection(const Options& o) {
    return Guarded([&] {
        if (const auto it = o.Values.find("--index"); it != o.Values.end())
            return Index(o, it->second);
        if (const auto it = o.Values.find("--query"); it != o.Values.end())
            return Query(o, it->second);
        if (const auto it = o.Values.find("--sql"); it != o.Values.end()) return Sql(o, it->second);
        if (const auto it = o.Values.find("--merge"); it != o.Values.end())
            return Merge(o, it->second);
        return kExitFailure;
    });
}
