#include "audit/Audit.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <tuple>

const char* SeverityText(TSeverity severity) {
    switch (severity) {
    case TSeverity::Warning:
        return "Warning";
    case TSeverity::Notice:
        return "Notice";
    case TSeverity::Info:
        return "Info";
    }
    return "";
}

const char* FindingPageName(TFindingPage page) {
    switch (page) {
    case TFindingPage::None:
        return "";
    case TFindingPage::Files:
        return "Files";
    case TFindingPage::Shortcuts:
        return "Shortcuts";
    case TFindingPage::Registry:
        return "Registry";
    case TFindingPage::Provisioning:
        return "Provisioning";
    case TFindingPage::Programs:
        return "Programs";
    case TFindingPage::Signature:
        return "Signature";
    }
    return "";
}

std::vector<TFindingGroup> GroupFindings(const std::vector<TFinding>& findings) {
    using TKey =
        std::tuple<std::string_view, TFindingPage, std::string_view, bool, std::string_view>;
    std::map<TKey, size_t> groupOf;
    std::vector<TFindingGroup> groups;
    for (size_t i = 0; i < findings.size(); ++i) {
        const TFinding& f = findings[i];
        const TKey key{f.Rule, f.Page, f.Title, f.Accepted,
                       f.Accepted ? std::string_view(f.Statement) : std::string_view()};
        const auto [it, added] = groupOf.emplace(key, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].Places.push_back(i);
    }
    return groups;
}

TFindingCounts CountFindings(const std::vector<TFinding>& findings) {
    TFindingCounts counts;
    for (const TFindingGroup& group : GroupFindings(findings))
        if (const TFinding& f = findings[group.Places.front()]; f.Accepted)
            ++counts.Accepted;
        else
            ++(f.Severity == TSeverity::Warning  ? counts.Warnings
               : f.Severity == TSeverity::Notice ? counts.Notices
                                                 : counts.Infos);
    return counts;
}

std::optional<TSeverity> WorstSeverity(const TFindingCounts& counts) {
    if (counts.Warnings > 0) return TSeverity::Warning;
    if (counts.Notices > 0) return TSeverity::Notice;
    if (counts.Infos > 0) return TSeverity::Info;
    return std::nullopt;
}

bool AnyUnacceptedAtLeast(const std::vector<TFinding>& findings, TSeverity threshold) {
    // The enum runs from the gravest severity down.
    return std::any_of(findings.begin(), findings.end(), [&](const TFinding& f) {
        return !f.Accepted && static_cast<int>(f.Severity) <= static_cast<int>(threshold);
    });
}

namespace {

std::string Counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string FindingsHeadline(const TFindingCounts& counts) {
    std::string text = "Findings: " + Counted(counts.Warnings, "warning", "warnings") + ", " +
                       Counted(counts.Notices, "notice", "notices") + ", " +
                       Counted(counts.Infos, "info", "info");
    if (counts.Accepted > 0) text += ", " + std::to_string(counts.Accepted) + " accepted";
    return text;
}
