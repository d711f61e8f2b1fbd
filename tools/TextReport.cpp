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
#include "tools/SetupDocument.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The text as a terminal shows it: escaped, and cut with the length of the whole when wider
// than limit.
std::string ShownCell(const std::string& text, size_t limit) {
    // Escaping only widens: a few bytes past the limit decide the cut, however long the text.
    // The piece ends between UTF-8 sequences, so that it is escaped as the whole would be.
    const auto continuation = [&](size_t i) {
        return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    size_t take = std::min(text.size(), limit + 8);
    while (take < text.size() && take > limit + 1 && continuation(take))
        --take;
    std::string shown = PlainText(std::string_view(text).substr(0, take));
    if (shown.size() <= limit && take == text.size()) return shown;
    size_t cut = limit;
    // Not inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
        --cut;
    shown.resize(cut);
    return shown + "... (" + std::to_string(text.size()) + " bytes)";
}

} // namespace

// Every column of the page, the reports' own ones too, each as wide as its widest text.
// Texts from the cabinet must not steer the terminal: cells are shown as plain text, and the
// widths count what is shown.
void WriteTable(std::ostream& out, const TPage& page, const std::vector<size_t>& limits) {
    const auto limit = [&](size_t c) { return c < limits.size() ? limits[c] : kMaxShownCell; };
    std::vector<std::vector<std::string>> cells;
    cells.reserve(page.Rows.size());
    for (const TRow& row : page.Rows) {
        auto& texts = cells.emplace_back();
        texts.reserve(row.Cells.size());
        for (const TCell& cell : row.Cells)
            texts.push_back(ShownCell(cell.Text, limit(texts.size())));
    }
    std::vector<size_t> widths;
    std::vector<std::string> header;
    for (const TColumn& column : page.Columns) {
        header.push_back(ShownCell(column.Caption, kMaxShownCell));
        widths.push_back(header.back().size());
    }
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
    line(header);
    for (const auto& texts : cells)
        line(texts);
}

void WriteCountedPage(std::ostream& out, const TPage& page) {
    out << '\n' << PlainText(page.Caption) << " (" << page.Rows.size() << ")\n";
    WriteTable(out, page);
}

namespace {

// Long values (certificates, nested documents) are cut here; --json has them whole.
constexpr size_t kMaxCell = 96;
constexpr size_t kMaxMeaning = 240;
// Deeper levels are not indented further, so that absurd nesting keeps lines short.
constexpr int64_t kMaxIndent = 24;

// Line breaks in values (nested documents) read better as spaces than as escapes.
void Flatten(std::string& text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
}

// The provisioning page with its items indented by depth and its long cells cut, then each
// certificate as a table of its fields.
void WriteProvisioning(std::ostream& out, const TCESetup& setup, TSetupDocument& document) {
    const provisioning::TProvisioningTree* read = document.Get();
    if (!read) return;
    const provisioning::TProvisioningTree& tree = *read;
    provisioning::TProvisioningPages pages = provisioning::BuildProvisioningPages(tree);
    for (TRow& row : pages.Rows.Rows) {
        const auto* depth = std::get_if<int64_t>(FindField(row.Record, "depth"));
        const int64_t indent = depth ? std::min(*depth, kMaxIndent) : 0;
        row.Cells[0].Text = std::string(size_t(2 * indent), ' ') + row.Cells[0].Text;
        for (size_t c = 1; c < row.Cells.size(); ++c)
            Flatten(row.Cells[c].Text);
    }
    // Item, Name, Value, Attributes, Meaning.
    const std::vector<size_t> limits{kMaxShownCell, kMaxCell, kMaxCell, kMaxCell, kMaxMeaning};
    out << '\n' << pages.Rows.Caption << " (" << pages.Rows.Rows.size() << ")\n";
    if (provisioning::IsProvisioningOnly(setup))
        out << "  " << PlainText(provisioning::ProvisioningHeadline(provisioning::Summarize(tree)))
            << '\n';
    WriteTable(out, pages.Rows, limits);

    const TPage& certificates = pages.Certificates;
    out << '\n' << certificates.Caption << " (" << certificates.Rows.size() << ")\n";
    for (size_t i = 0; i < certificates.Rows.size(); ++i) {
        if (i > 0) out << '\n';
        // The two store columns always; the others only when they have something to say.
        TPage fields = FieldsPage(certificates, certificates.Rows[i], 2);
        for (TRow& field : fields.Rows)
            Flatten(field.Cells[1].Text);
        WriteTable(out, fields, {kMaxShownCell, kMaxMeaning});
    }
}

} // namespace

void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet,
                     const TCabinetSignature& signature, TSetupDocument& document) {
    // The load's listing serves the setup-DLL row and the sizes of all files.
    TPage properties = BuildPropertiesPage(setup, cabinet.CABFileContents);
    AddSignatureRows(properties, signature);
    out << PlainText(properties.Caption) << '\n';
    WriteTable(out, properties);
    WriteCountedPage(out, BuildFilesPage(setup, cabinet.CABFileContents));
    WriteCountedPage(out, BuildShortcutsPage(setup));
    WriteCountedPage(out, BuildRegistryPages(setup).Values);
    WriteProvisioning(out, setup, document);
}
