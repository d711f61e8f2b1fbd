#include "tools/DiffReport.h"

#include "cab/PlainText.h"
#include "compare/Comparison.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

namespace {

// The JSON key of each page, in the comparison's page order.
const char* const kPageKeys[] = {"properties", "files",     "shortcuts",
                                 "registry",   "signature", "provisioning"};

} // namespace

void WriteDiffReport(std::ostream& out, const TComparison& comparison, const std::string& older,
                     const std::string& newer) {
    out << PlainText(older) << " -> " << PlainText(newer) << ": " << ComparisonSummary(comparison)
        << '\n';
    for (const TPage& page : comparison.Pages)
        if (!page.Rows.empty()) WriteCountedPage(out, page);
}

nlohmann::ordered_json DiffToJson(const TComparison& comparison, const std::string& older,
                                  const std::string& newer) {
    nlohmann::ordered_json root;
    root["old"] = older;
    root["new"] = newer;
    root["same"] = comparison.Same();
    root["added"] = comparison.Added;
    root["removed"] = comparison.Removed;
    root["changed"] = comparison.Changed;
    for (size_t i = 0; i < comparison.Pages.size() && i < std::size(kPageKeys); ++i)
        root[kPageKeys[i]] = PageRecordsToJson(comparison.Pages[i]);
    return root;
}
