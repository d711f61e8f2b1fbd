#include "audit/Audit.h"

#include <algorithm>

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

TFindingCounts CountFindings(const std::vector<TFinding>& findings) {
    TFindingCounts counts;
    for (const TFinding& f : findings)
        if (f.Accepted)
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
