#include "audit/Audit.h"

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

namespace {

std::string Counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string FindingsHeadline(const TFindingCounts& counts) {
    return "Findings: " + Counted(counts.Warnings, "warning", "warnings") + ", " +
           Counted(counts.Notices, "notice", "notices") + ", " +
           Counted(counts.Infos, "info", "info");
}
