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

void WriteDiffJson(TJsonWriter& out, const TComparison& comparison, const std::string& older,
                   const std::string& newer) {
    out.BeginObject();
    out.Key("old");
    out.String(WellFormedUtf8(older));
    out.Key("new");
    out.String(WellFormedUtf8(newer));
    out.Key("same");
    out.Bool(comparison.Same());
    for (const auto& [key, count] : {std::pair{"added", comparison.Added},
                                     {"removed", comparison.Removed},
                                     {"changed", comparison.Changed}}) {
        out.Key(key);
        out.Int(static_cast<int64_t>(count));
    }
    for (size_t i = 0; i < comparison.Pages.size() && i < std::size(kPageKeys); ++i) {
        out.Key(kPageKeys[i]);
        WriteMixedPageRecords(out, comparison.Pages[i]);
    }
    out.EndObject();
}
