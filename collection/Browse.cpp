// What the collection window reads: the setups with the columns it lists, and the rows of the
// setups that hold something.
#include "collection/BrowsePages.h"
#include "collection/Collection.h"
#include "collection/Database.h"

#include <algorithm>
#include <set>

namespace collection {

namespace {

// A LIKE pattern that finds text anywhere, its own % and _ taken as they are.
std::string ContainsPattern(const std::string& text) {
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

} // namespace

std::vector<TSetupRow> ListSetups(const std::string& db, const std::vector<std::string>& words) {
    std::vector<std::string> paths;
    bool filtered = false;
    for (const std::string& word : words)
        filtered = filtered || !word.empty();
    if (filtered)
        for (const TQueryHit& hit : QueryCollection(db, words))
            paths.push_back(hit.Path);
    TDatabase database(db, TOpenMode::ReadOnly);
    TStatement s(database,
                 "SELECT o.path, o.status, o.name, (SELECT p.version FROM programs p WHERE "
                 "p.cabinet_sha256 = o.sha256 AND p.version <> '' ORDER BY p.folder, p.name "
                 "LIMIT 1), o.processor, o.verdict, o.signer, (SELECT t.trust FROM signatures t "
                 "WHERE t.cabinet_sha256 = o.sha256), o.warnings FROM setup_overview o ORDER BY "
                 "o.path");
    std::vector<TSetupRow> rows;
    size_t next = 0;
    while (s.Step()) {
        TSetupRow row{s.Text(0), s.Text(1), s.Text(2), s.Text(3),  s.Text(4),
                      s.Text(5), s.Text(6), s.Text(7), s.Number(8)};
        // Both in path order: the hits are walked beside the rows.
        if (filtered) {
            while (next < paths.size() && paths[next] < row.Path)
                ++next;
            if (next >= paths.size() || paths[next] != row.Path) continue;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<TContainsHit> WhichSetupsContain(const std::string& db, const std::string& text,
                                             size_t limit) {
    if (text.empty()) throw TCollectionError("nothing to search for", true);
    TDatabase database(db, TOpenMode::ReadOnly);
    TStatement s(database,
                 "SELECT c.path, 'File', f.folder || '\\' || f.name FROM cabinets c JOIN files f "
                 "ON f.cabinet_sha256 = c.sha256 WHERE f.folder LIKE ?1 ESCAPE '\\' OR f.name "
                 "LIKE ?1 ESCAPE '\\' "
                 "UNION ALL SELECT c.path, 'Registry', r.key || '\\' || r.name || ' = ' || "
                 "r.value FROM cabinets c JOIN registry r ON r.cabinet_sha256 = c.sha256 WHERE "
                 "r.key LIKE ?1 ESCAPE '\\' OR r.name LIKE ?1 ESCAPE '\\' OR r.value LIKE ?1 "
                 "ESCAPE '\\' "
                 "UNION ALL SELECT c.path, 'Certificate', t.subject || ' (' || t.thumbprint || "
                 "') in ' || t.store FROM cabinets c JOIN certificates t ON t.cabinet_sha256 = "
                 "c.sha256 WHERE t.subject LIKE ?1 ESCAPE '\\' OR t.issuer LIKE ?1 ESCAPE '\\' "
                 "OR t.thumbprint LIKE ?1 ESCAPE '\\' "
                 "ORDER BY 1, 2, 3 LIMIT ?2");
    const std::string pattern = ContainsPattern(text);
    s.Bind(1, pattern);
    s.Bind(2, static_cast<int64_t>(limit));
    std::vector<TContainsHit> hits;
    while (s.Step())
        hits.push_back({s.Text(0), s.Text(1), s.Text(2)});
    return hits;
}

} // namespace collection

namespace collection {

TPage BuildSetupsPage(const std::vector<TSetupRow>& rows) {
    TPage page;
    page.Caption = "Collection";
    page.Columns = {{"Cabinet", 260},
                    {"Name", 160},
                    {"Version", 90},
                    {"CPU", 100},
                    {"Signer", 140},
                    {"Trust", 220},
                    {"Warnings", 70, TAlign::Right}};
    for (size_t i = 0; i < rows.size(); ++i) {
        const TSetupRow& r = rows[i];
        TRow row;
        row.Source = i;
        // A cabinet that could not be read says why where its name would be.
        const std::string name = r.Status == "read" ? r.Name : r.Status;
        TCell warnings = TextCell(std::to_string(r.Warnings), TAlign::Right);
        warnings.SortKey = r.Warnings;
        row.Cells = {TextCell(r.Path, TAlign::Left, TIconKind::Setup),
                     TextCell(name),
                     TextCell(r.Version),
                     TextCell(r.Processor),
                     TextCell(r.Signer.empty() ? r.Verdict : r.Signer),
                     TextCell(r.Trust),
                     std::move(warnings)};
        row.Record = {{"path", r.Path},       {"status", r.Status},       {"name", r.Name},
                      {"version", r.Version}, {"processor", r.Processor}, {"signer", r.Signer},
                      {"trust", r.Trust},     {"warnings", r.Warnings}};
        page.Rows.push_back(std::move(row));
    }
    return page;
}

TPage BuildContainsPage(const std::vector<TContainsHit>& hits) {
    TPage page;
    page.Caption = "Which setups contain";
    page.Columns = {{"Cabinet", 260}, {"Kind", 80}, {"What", 420}};
    for (size_t i = 0; i < hits.size(); ++i) {
        TRow row;
        row.Source = i;
        row.Cells = {TextCell(hits[i].Path, TAlign::Left, TIconKind::Setup), TextCell(hits[i].Kind),
                     TextCell(hits[i].What)};
        row.Record = {{"path", hits[i].Path}, {"kind", hits[i].Kind}, {"what", hits[i].What}};
        page.Rows.push_back(std::move(row));
    }
    return page;
}

std::string SetupsStatusText(size_t shown, size_t total, bool searched) {
    return "Setups: " + (searched ? std::to_string(shown) + " of " : std::string()) +
           std::to_string(total);
}

std::string ContainsStatusText(const std::vector<TContainsHit>& hits, size_t limit) {
    std::set<std::string> setups;
    for (const TContainsHit& hit : hits)
        setups.insert(hit.Path);
    std::string status =
        std::to_string(hits.size()) + " found in " + std::to_string(setups.size()) + " setups";
    if (hits.size() >= limit && limit > 0)
        status += " (only the first " + std::to_string(limit) + " are listed)";
    return status;
}

std::vector<std::string> SearchWords(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(" \t", at);
        if (start == std::string::npos) break;
        const size_t end = std::min(text.find_first_of(" \t", start), text.size());
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

} // namespace collection
