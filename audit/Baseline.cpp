#include "audit/Baseline.h"

#include "cab/AsciiCase.h"
#include "cab/PlainText.h"
#include "signature/Crypto.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

using nlohmann::json;

namespace {

// A baseline lists reviewed findings; anything this large is not one.
constexpr size_t kMaxBaselineSize = 64u << 20;

// Walks the text for the JSON reader and remembers how far it has read, so that each entry
// and key can be given the line it stands on.
struct TCountingIterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* At = nullptr;
    const char** Furthest = nullptr;

    reference operator*() const { return *At; }
    TCountingIterator& operator++() {
        ++At;
        if (At > *Furthest) *Furthest = At;
        return *this;
    }
    TCountingIterator operator++(int) {
        TCountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TCountingIterator& other) const { return At == other.At; }
    bool operator!=(const TCountingIterator& other) const { return At != other.At; }
};

size_t LineAt(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

// Where each entry of "accepted" and each of its keys begin.
struct TPlaces {
    size_t RootLine = 1;
    std::map<std::string, size_t> RootKeys;
    std::vector<size_t> Entries;
    std::vector<std::map<std::string, size_t>> EntryKeys;
};

bool IsDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (const size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return false;
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    if (month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29) return leap;
    return day <= kDays[month - 1];
}

bool IsSha256(std::string& text) {
    if (text.size() != 64) return false;
    for (char& c : text) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// Reads one entry; false with what is wrong.
bool ReadEntry(const json& item, const std::map<std::string, size_t>& keys, size_t entryLine,
               TBaselineEntry& entry, TBaselineError& error) {
    const auto fail = [&](const std::string& key, std::string what) {
        const auto it = keys.find(key);
        error.Line = it != keys.end() ? it->second : entryLine;
        error.What = std::move(what);
        return false;
    };
    entry.Line = entryLine;
    if (!item.is_object())
        return fail("", "each accepted finding is an object with \"rule\" and \"statement\"");
    for (const auto& [key, value] : item.items()) {
        const bool known = key == "rule" || key == "where" || key == "cabinetSha256" ||
                           key == "cabinetName" || key == "statement" || key == "expires";
        if (!known) return fail(key, "unknown key \"" + key + "\"");
        if (!value.is_string()) return fail(key, "\"" + key + "\" must be a string");
    }
    const auto text = [&](const char* key) {
        const auto it = item.find(key);
        return it == item.end() ? std::string() : it->get<std::string>();
    };
    entry.Rule = text("rule");
    if (!item.contains("rule")) return fail("", "the entry has no \"rule\"");
    if (!FindAuditRule(entry.Rule)) return fail("rule", "unknown rule \"" + entry.Rule + "\"");
    entry.AnyWhere = !item.contains("where");
    entry.Where = text("where");
    if (item.contains("cabinetSha256") && item.contains("cabinetName"))
        return fail("cabinetName", "give \"cabinetSha256\" or \"cabinetName\", not both");
    entry.CabinetSha256 = text("cabinetSha256");
    if (item.contains("cabinetSha256") && !IsSha256(entry.CabinetSha256))
        return fail("cabinetSha256", "\"cabinetSha256\" must be 64 hexadecimal digits");
    entry.CabinetName = text("cabinetName");
    if (item.contains("cabinetName") && entry.CabinetName.empty())
        return fail("cabinetName", "\"cabinetName\" is empty");
    if (!item.contains("statement"))
        return fail("", "the entry has no \"statement\": say why the finding is accepted");
    entry.Statement = text("statement");
    if (IsBlank(entry.Statement))
        return fail("statement", "\"statement\" is empty: say why the finding is accepted");
    entry.Expires = text("expires");
    if (item.contains("expires") && !IsDate(entry.Expires))
        return fail("expires", "\"expires\" must be a date YYYY-MM-DD");
    return true;
}

// A finding's text as the JSON output gives it: UTF-8 as it stands, other texts byte by byte.
std::string AsUtf8(const std::string& text) {
    return Utf8Else8(text);
}

bool AppliesTo(const TBaselineEntry& entry, const TCabinetIdentity& cabinet) {
    if (!entry.CabinetSha256.empty() && entry.CabinetSha256 != cabinet.Sha256) return false;
    if (!entry.CabinetName.empty() && !SameTextAscii(entry.CabinetName, cabinet.Name)) return false;
    return true;
}

} // namespace

bool ParseBaseline(std::string_view text, TBaseline& baseline, TBaselineError& error) {
    baseline = {};
    error = {};
    if (text.size() > kMaxBaselineSize) {
        error = {1, "the file is larger than 64 MiB"};
        return false;
    }
    const char* furthest = text.data();
    const TCountingIterator first{text.data(), &furthest};
    const TCountingIterator last{text.data() + text.size(), &furthest};
    TPlaces places;
    std::string rootKey;
    const auto here = [&] { return LineAt(text, static_cast<size_t>(furthest - text.data())); };
    const json::parser_callback_t note = [&](int depth, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::key && depth == 1) {
            rootKey = parsed.is_string() ? parsed.get<std::string>() : std::string();
            places.RootKeys[rootKey] = here();
        } else if (rootKey == "accepted" && depth == 2 &&
                   (event == json::parse_event_t::object_start ||
                    event == json::parse_event_t::array_start)) {
            places.Entries.push_back(here());
            places.EntryKeys.emplace_back();
        } else if (rootKey == "accepted" && depth == 2 && event == json::parse_event_t::value &&
                   !parsed.is_structured()) {
            // A scalar where an entry belongs.
            places.Entries.push_back(here());
            places.EntryKeys.emplace_back();
        } else if (rootKey == "accepted" && depth == 3 && event == json::parse_event_t::key &&
                   !places.EntryKeys.empty() && parsed.is_string()) {
            places.EntryKeys.back()[parsed.get<std::string>()] = here();
        }
        return true;
    };
    json root;
    try {
        root = json::parse(first, last, note);
    } catch (const json::parse_error& e) {
        // The reader's message with its own place taken off: "syntax error while parsing ...".
        std::string what = e.what();
        if (const size_t colon = what.find(": "); colon != std::string::npos)
            what = what.substr(colon + 2);
        error = {LineAt(text, e.byte > 0 ? e.byte - 1 : 0), "not JSON: " + what};
        return false;
    } catch (const std::exception& e) {
        error = {here(), std::string("not JSON: ") + e.what()};
        return false;
    }
    const auto rootFail = [&](const std::string& key, std::string what) {
        const auto it = places.RootKeys.find(key);
        error = {it != places.RootKeys.end() ? it->second : places.RootLine, std::move(what)};
        return false;
    };
    if (!root.is_object())
        return rootFail("", "a baseline is an object {\"version\": 1, \"accepted\": [...]}");
    for (const auto& [key, value] : root.items())
        if (key != "version" && key != "accepted")
            return rootFail(key, "unknown key \"" + key + "\"");
    const auto version = root.find("version");
    if (version == root.end()) return rootFail("", "the baseline has no \"version\"");
    if (!version->is_number_integer() || version->get<int64_t>() != 1)
        return rootFail("version", "\"version\" must be 1");
    const auto accepted = root.find("accepted");
    if (accepted == root.end()) return rootFail("", "the baseline has no \"accepted\" list");
    if (!accepted->is_array()) return rootFail("accepted", "\"accepted\" must be a list");
    baseline.Entries.reserve(accepted->size());
    for (size_t i = 0; i < accepted->size(); ++i) {
        const size_t line = i < places.Entries.size() ? places.Entries[i] : places.RootLine;
        static const std::map<std::string, size_t> kNoKeys;
        const auto& keys = i < places.EntryKeys.size() ? places.EntryKeys[i] : kNoKeys;
        if (!ReadEntry((*accepted)[i], keys, line, baseline.Entries.emplace_back(), error))
            return false;
    }
    return true;
}

bool WherePatternMatches(std::string_view pattern, std::string_view text) {
    // The usual greedy walk with one point to come back to: linear in practice, no recursion.
    size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string FileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    const auto digest = crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256);
    std::vector<uint8_t> buffer(1u << 16);
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data()),
                static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got > 0) digest->Update({buffer.data(), got});
    }
    if (in.bad()) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const uint8_t b : digest->Final()) {
        hex += kHex[b >> 4];
        hex += kHex[b & 0xF];
    }
    return hex;
}

TCabinetIdentity CabinetIdentity(const std::string& path) {
    TCabinetIdentity identity;
    const size_t slash = path.find_last_of("/\\");
    identity.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    identity.Sha256 = FileSha256(path);
    return identity;
}

void ApplyBaseline(const TBaseline& baseline, const TCabinetIdentity& cabinet,
                   const std::string& today, std::vector<TFinding>& findings) {
    std::vector<const TBaselineEntry*> inForce;
    std::vector<const TBaselineEntry*> expired;
    for (const TBaselineEntry& entry : baseline.Entries) {
        if (!AppliesTo(entry, cabinet)) continue;
        // The entry accepts through its last day.
        (!entry.Expires.empty() && entry.Expires < today ? expired : inForce).push_back(&entry);
    }
    if (!inForce.empty())
        for (TFinding& finding : findings) {
            if (finding.Accepted) continue;
            std::string where;
            bool whereMade = false;
            for (const TBaselineEntry* entry : inForce) {
                if (entry->Rule != finding.Rule) continue;
                if (!entry->AnyWhere) {
                    if (!whereMade) where = AsUtf8(finding.Where), whereMade = true;
                    if (!WherePatternMatches(entry->Where, where)) continue;
                }
                finding.Accepted = true;
                finding.Statement = entry->Statement;
                break;
            }
        }
    const TAuditRule* rule = FindAuditRule(kBaselineExpiredRule);
    for (const TBaselineEntry* entry : expired) {
        TFinding& f = findings.emplace_back();
        f.Severity = rule->Severity;
        f.Rule = rule->Id;
        f.Title = rule->Title;
        f.Where = "Baseline line " + std::to_string(entry->Line) + ": " + entry->Rule +
                  (entry->AnyWhere ? std::string() : " at " + entry->Where);
        f.Why = "Accepted until " + entry->Expires + " (\"" + entry->Statement +
                "\"); its findings count again until the entry is renewed or removed.";
    }
}

std::string TodayUtc() {
    const auto days = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
    const std::chrono::year_month_day date{days};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

std::string WriteBaselineText(const std::vector<TBaselineSource>& sources) {
    // Keys in the order the manual lists them, indented, for editing by hand.
    nlohmann::ordered_json root;
    root["version"] = 1;
    auto& accepted = root["accepted"] = nlohmann::ordered_json::array();
    for (const TBaselineSource& source : sources) {
        if (!source.Findings) continue;
        for (const TFinding& f : *source.Findings) {
            if (std::string_view(f.Rule) == kBaselineExpiredRule) continue;
            nlohmann::ordered_json entry;
            entry["rule"] = f.Rule;
            entry["where"] = AsUtf8(f.Where);
            if (source.Cabinet) entry["cabinetName"] = AsUtf8(source.Cabinet->Name);
            entry["statement"] = f.Accepted ? f.Statement : std::string();
            accepted.push_back(std::move(entry));
        }
    }
    return root.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

void ClearBaselineMarks(std::vector<TFinding>& findings) {
    std::erase_if(findings, [](const TFinding& f) {
        return std::string_view(f.Rule) == kBaselineExpiredRule;
    });
    for (TFinding& f : findings) {
        f.Accepted = false;
        f.Statement.clear();
    }
}
