#include "inspection/HtmlReport.h"

#include "audit/FindingsPage.h"
#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "compare/Comparison.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "tessary/Version.h"

#include <algorithm>
#include <set>

namespace {

// Plain colours and a readable table; nothing outside the page.
const char kStyle[] = R"(body{font:14px/1.4 sans-serif;margin:24px;color:#1a1a1a;background:#fff}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px;border-bottom:2px solid #3a6ea5}
.meta{color:#555;margin:0 0 16px}.headline{font-weight:bold;font-size:15px}
table{border-collapse:collapse;width:100%;margin:4px 0 12px}
th,td{border:1px solid #ccc;padding:3px 6px;text-align:left;vertical-align:top;word-break:break-word}
th{background:#e8eef5;white-space:nowrap}td.nw{white-space:nowrap}tr:target{outline:3px solid #f0b400}
.Warning{color:#a4000f;font-weight:bold}.Notice{color:#8a5a00;font-weight:bold}.Info{color:#245}
tr.accepted td{color:#888}tr.place td:nth-child(4){padding-left:2em}tr.added td{background:#e6f5e9}tr.removed td{background:#fbe7e5}
tr.changed td{background:#e7eefb}code{font-family:monospace}
dl.rules dt{font-weight:bold;margin-top:8px}dl.rules dd{margin-left:16px})";

// An id attribute's value: page and row.
std::string RowId(const char* page, size_t row) {
    return std::string(page) + "-" + std::to_string(row);
}

struct TRowMarks {
    const char* IdPrefix = nullptr;                    // rows get ids "prefix-Source"
    const std::vector<std::string>* Classes = nullptr; // per row, in page order
};

void Table(std::string& out, const TPage& page, const TRowMarks& marks = {}) {
    out += "<table><thead><tr>";
    for (const TColumn& column : page.Columns)
        out += "<th>" + HtmlText(column.Caption) + "</th>";
    out += "</tr></thead><tbody>\n";
    for (size_t r = 0; r < page.Rows.size(); ++r) {
        const TRow& row = page.Rows[r];
        out += "<tr";
        if (marks.IdPrefix) out += " id=\"" + RowId(marks.IdPrefix, row.Source) + "\"";
        if (marks.Classes && r < marks.Classes->size() && !(*marks.Classes)[r].empty())
            out += " class=\"" + HtmlText((*marks.Classes)[r]) + "\"";
        out += ">";
        for (const TCell& cell : row.Cells)
            out += "<td>" + HtmlText(cell.Text) + "</td>";
        out += "</tr>\n";
    }
    out += "</tbody></table>\n";
}

void Section(std::string& out, const char* id, const std::string& caption, size_t count) {
    out += "<h2 id=\"" + std::string(id) + "\">" + HtmlText(caption) + " (" +
           std::to_string(count) + ")</h2>\n";
}

std::string Begin(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"generator\" content=\"tessary-info " +
           std::string(kTessaryVersion) + "\">\n<title>" + HtmlText(title) + "</title>\n<style>" +
           kStyle + "</style>\n</head>\n<body>\n";
}

const char* PageAnchor(TFindingPage page) {
    switch (page) {
    case TFindingPage::Files:
        return "files";
    case TFindingPage::Shortcuts:
        return "shortcuts";
    case TFindingPage::Registry:
        return "registry";
    case TFindingPage::Provisioning:
        return "provisioning";
    case TFindingPage::Programs:
        return "programs";
    case TFindingPage::Signature:
        return "signature";
    case TFindingPage::None:
        return "properties";
    }
    return "properties";
}

void Findings(std::string& out, const std::vector<TFinding>& findings) {
    const TPage page = BuildFindingsPage(findings);
    // A group of places counts once; its places follow it, each linked to its own row.
    const auto listed = std::count_if(page.Rows.begin(), page.Rows.end(),
                                      [](const TRow& row) { return !IsFindingPlaceRow(row); });
    Section(out, "findings", page.Caption, static_cast<size_t>(listed));
    out += "<p class=\"headline\">" + HtmlText(FindingsHeadline(CountFindings(findings))) +
           "</p>\n<table><thead><tr>";
    for (const TColumn& column : page.Columns)
        out += "<th>" + HtmlText(column.Caption) + "</th>";
    out += "</tr></thead><tbody>\n";
    for (size_t r = 0; r < page.Rows.size(); ++r) {
        const TRow& row = page.Rows[r];
        const TFinding& f = findings[row.Source];
        const bool place = IsFindingPlaceRow(row);
        const bool group = !place && r + 1 < page.Rows.size() && page.Rows[r + 1].Node == r;
        out += "<tr id=\"" + RowId(group ? "finding-group" : "finding", row.Source) + "\"";
        if (f.Accepted || place) {
            out += " class=\"";
            out += f.Accepted ? (place ? "accepted place" : "accepted") : "place";
            out += "\"";
        }
        out += ">";
        // Severity, Rule (to its documentation), Title, Where (to its row), Why, Accepted.
        for (size_t c = 0; c < row.Cells.size(); ++c) {
            const std::string text = HtmlText(row.Cells[c].Text);
            out += "<td";
            // Severity and rule id are single words: never broken across lines.
            if (c == 0) out += " class=\"nw " + std::string(SeverityText(f.Severity)) + "\"";
            if (c == 1) out += " class=\"nw\"";
            out += ">";
            const TAuditRule* rule = FindAuditRule(f.Rule);
            if (text.empty() || (c == 3 && group))
                out += text;
            else if (c == 1 && rule && rule->Anchor)
                out += "<a href=\"#" + std::string(rule->Anchor) + "\">" + text + "</a>";
            else if (c == 3 && f.Page != TFindingPage::Programs &&
                     f.Page != TFindingPage::Signature && f.Page != TFindingPage::None)
                out += "<a href=\"#" + RowId(PageAnchor(f.Page), f.Row) + "\">" + text + "</a>";
            else if (c == 3)
                out += "<a href=\"#" + std::string(PageAnchor(f.Page)) + "\">" + text + "</a>";
            else
                out += text;
            out += "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody></table>\n";
}

void Rules(std::string& out, const std::vector<TFinding>& findings) {
    std::set<std::string> used;
    for (const TFinding& f : findings)
        used.insert(f.Rule);
    out += "<h2 id=\"rules\">Rules</h2>\n<dl class=\"rules\">\n";
    for (const TAuditRule& rule : AuditRules()) {
        if (!used.count(rule.Id)) continue;
        out += "<dt id=\"" + std::string(rule.Anchor ? rule.Anchor : rule.Id) + "\"><code>" +
               HtmlText(rule.Id) + "</code> (" + SeverityText(rule.Severity) + ", " +
               HtmlText(rule.Group) + "): " + HtmlText(rule.Title) + "</dt>\n<dd>" +
               HtmlText(rule.Help ? rule.Help : "") + "</dd>\n";
    }
    out += "</dl>\n";
}

} // namespace

std::string HtmlText(std::string_view text) {
    const std::string plain = Utf8Else8(PlainText(text));
    std::string out;
    out.reserve(plain.size() + plain.size() / 8);
    for (const char c : plain) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string AuditHtml(TCESetup& setup, TCABFile& cabinet,
                      const provisioning::TProvisioningTree* document,
                      const TCabinetSignature& signature, const std::vector<TProgramRow>& programs,
                      const std::vector<TFinding>& findings, const TCabinetIdentity& identity,
                      const device::TDeviceDecision* decision) {
    std::string out = Begin("Tessary audit: " + identity.Name);
    out += "<h1>Audit of " + HtmlText(identity.Name) + "</h1>\n<p class=\"meta\">SHA-256 <code>" +
           HtmlText(identity.Sha256) + "</code>; tessary-info " + kTessaryVersion + "</p>\n";
    if (decision) {
        const TPage device = device::BuildDevicePage(*decision);
        out += "<h2 id=\"device\">" + HtmlText(device.Caption) + "</h2>\n<p class=\"headline\">" +
               HtmlText(device::InstallDecisionValue(*decision)) + "</p>\n";
        Table(out, device);
    }
    Findings(out, findings);

    TPage properties = BuildPropertiesPage(setup, cabinet.CABFileContents);
    AddSignatureRows(properties, signature);
    Section(out, "properties", properties.Caption, properties.Rows.size());
    Table(out, properties);
    const TPage files = BuildFilesPage(setup, cabinet.CABFileContents);
    Section(out, "files", files.Caption, files.Rows.size());
    Table(out, files, {"files", nullptr});
    const TPage shortcuts = BuildShortcutsPage(setup);
    Section(out, "shortcuts", shortcuts.Caption, shortcuts.Rows.size());
    Table(out, shortcuts, {"shortcuts", nullptr});
    const TPage registry = BuildRegistryPages(setup).Values;
    Section(out, "registry", registry.Caption, registry.Rows.size());
    Table(out, registry, {"registry", nullptr});
    if (document) {
        const provisioning::TProvisioningPages pages =
            provisioning::BuildProvisioningPages(*document);
        Section(out, "provisioning", pages.Rows.Caption, pages.Rows.Rows.size());
        Table(out, pages.Rows, {"provisioning", nullptr});
        Section(out, "provisioning-certificates", pages.Certificates.Caption,
                pages.Certificates.Rows.size());
        Table(out, pages.Certificates);
    }
    const TSignaturePages signaturePages = BuildSignaturePages(signature);
    Section(out, "signature", "Signature: " + signature.Summary(),
            signaturePages.Certificates.Rows.size());
    Table(out, signaturePages.Certificates);
    Table(out, signaturePages.Checks);
    TPage programsPage = BuildProgramsPage(programs);
    if (decision) device::AddRunColumn(programsPage, *decision);
    Section(out, "programs", programsPage.Caption, programsPage.Rows.size());
    Table(out, programsPage);
    Rules(out, findings);
    out += "</body>\n</html>\n";
    return out;
}

std::string DiffHtml(const TComparison& comparison, const std::string& older,
                     const std::string& newer) {
    std::string out = Begin("Tessary comparison: " + older + " -> " + newer);
    out += "<h1>" + HtmlText(older) + " &rarr; " + HtmlText(newer) +
           "</h1>\n<p class=\"headline\">" + HtmlText(ComparisonSummary(comparison)) + "</p>\n";
    for (size_t p = 0; p < comparison.Pages.size(); ++p) {
        const TPage& page = comparison.Pages[p];
        if (page.Rows.empty()) continue;
        std::vector<std::string> classes;
        for (const TRow& row : page.Rows) {
            const TValue* change = FindField(row.Record, "change");
            const auto* text = change ? std::get_if<std::string>(change) : nullptr;
            classes.push_back(text ? *text : std::string());
        }
        const std::string id = "page-" + std::to_string(p);
        Section(out, id.c_str(), page.Caption, page.Rows.size());
        Table(out, page, {nullptr, &classes});
    }
    out += "</body>\n</html>\n";
    return out;
}
