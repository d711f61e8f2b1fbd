#include "tools/TextReport.h"

#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"

#include <algorithm>
#include <string>
#include <vector>

// Every column of the page, the reports' own ones too, each as wide as its widest text.
// Texts from the cabinet must not steer the terminal: cells are shown as plain text, and the
// widths count what is shown.
void WriteTable(std::ostream& out, const TPage& page) {
    std::vector<std::vector<std::string>> cells;
    cells.reserve(page.Rows.size());
    for (const TRow& row : page.Rows) {
        auto& texts = cells.emplace_back();
        texts.reserve(row.Cells.size());
        for (const TCell& cell : row.Cells)
            texts.push_back(PlainText(cell.Text));
    }
    std::vector<size_t> widths;
    for (const TColumn& column : page.Columns)
        widths.push_back(column.Caption.size());
    for (const auto& texts : cells)
        for (size_t c = 0; c < texts.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], texts[c].size());
    const auto line = [&](const auto& texts) {
        std::string text;
        for (size_t c = 0; c < texts.size(); ++c) {
            text += texts[c];
            if (c + 1 < texts.size()) text += std::string(widths[c] - texts[c].size() + 2, ' ');
        }
        out << "  " << text << '\n';
    };
    std::vector<std::string> header;
    for (const TColumn& column : page.Columns)
        header.push_back(column.Caption);
    line(header);
    for (const auto& texts : cells)
        line(texts);
}

void WriteCountedPage(std::ostream& out, const TPage& page) {
    out << '\n' << page.Caption << " (" << page.Rows.size() << ")\n";
    WriteTable(out, page);
}

namespace {

// Long values (certificates, nested documents) are cut here; --json has them whole.
constexpr size_t kMaxCell = 96;
constexpr size_t kMaxMeaning = 240;
// Deeper levels are not indented further, so that absurd nesting keeps lines short.
constexpr int64_t kMaxIndent = 24;

std::string Cut(const std::string& text, size_t limit) {
    std::string cell = text.substr(0, limit);
    for (char& c : cell)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (text.size() > limit) cell += "... (" + std::to_string(text.size()) + " bytes)";
    return cell;
}

// The provisioning page with its items indented by depth and its long cells cut, then each
// certificate as a table of its fields.
void WriteProvisioning(std::ostream& out, TCESetup& setup, TCABFile& cabinet, TCabinetLook& look) {
    provisioning::TProvisioningTree tree;
    if (!provisioning::ReadCabinetProvisioning(cabinet, tree, &look)) return;
    provisioning::TProvisioningPages pages = provisioning::BuildProvisioningPages(tree);
    for (TRow& row : pages.Rows.Rows) {
        const auto* depth = std::get_if<int64_t>(FindField(row.Record, "depth"));
        const int64_t indent = depth ? std::min(*depth, kMaxIndent) : 0;
        row.Cells[0].Text = std::string(size_t(2 * indent), ' ') + row.Cells[0].Text;
        for (size_t c = 1; c < row.Cells.size(); ++c)
            row.Cells[c].Text =
                Cut(row.Cells[c].Text, c + 1 == row.Cells.size() ? kMaxMeaning : kMaxCell);
    }
    out << '\n' << pages.Rows.Caption << " (" << pages.Rows.Rows.size() << ")\n";
    if (provisioning::IsProvisioningOnly(setup))
        out << "  " << provisioning::ProvisioningHeadline(provisioning::Summarize(tree)) << '\n';
    WriteTable(out, pages.Rows);

    const TPage& certificates = pages.Certificates;
    out << '\n' << certificates.Caption << " (" << certificates.Rows.size() << ")\n";
    for (size_t i = 0; i < certificates.Rows.size(); ++i) {
        if (i > 0) out << '\n';
        // The two store columns always; the others only when they have something to say.
        TPage fields = FieldsPage(certificates, certificates.Rows[i], 2);
        for (TRow& field : fields.Rows)
            field.Cells[1].Text = Cut(field.Cells[1].Text, kMaxMeaning);
        WriteTable(out, fields);
    }
}

} // namespace

void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet, TCabinetLook& look,
                     const TCabinetSignature& signature) {
    // The load's listing serves the setup-DLL row and the sizes of all files.
    TPage properties = BuildPropertiesPage(setup, cabinet.CABFileContents);
    AddSignatureRows(properties, signature);
    out << properties.Caption << '\n';
    WriteTable(out, properties);
    WriteCountedPage(out, BuildFilesPage(setup, cabinet.CABFileContents));
    WriteCountedPage(out, BuildShortcutsPage(setup));
    WriteCountedPage(out, BuildRegistryPages(setup).Values);
    WriteProvisioning(out, setup, cabinet, look);
}
