#include "tools/TextReport.h"

#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/DisplayFormat.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "tools/SetupDocument.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Line breaks in values (nested documents) read better as spaces than as escapes.
void Flatten(std::string& text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
}

// The text as a terminal shows it: escaped, and cut with the length of the whole when wider
// than limit. Flattened, its line breaks and tabs are shown as spaces.
std::string ShownCell(std::string_view text, size_t limit, bool flatten = false) {
    // Escaping only widens: a few bytes past the limit decide the cut, however long the text.
    // The piece ends between UTF-8 sequences, so that it is escaped as the whole would be.
    const auto continuation = [&](size_t i) {
        return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    size_t take = std::min(text.size(), limit + 8);
    while (take < text.size() && take > limit + 1 && continuation(take))
        --take;
    std::string shown;
    if (flatten) {
        std::string piece(text.substr(0, take));
        Flatten(piece);
        shown = PlainText(piece);
    } else {
        shown = PlainText(text.substr(0, take));
    }
    if (shown.size() <= limit && take == text.size()) return shown;
    size_t cut = limit;
    // Not inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
        --cut;
    shown.resize(cut);
    return shown + "... (" + std::to_string(text.size()) + " bytes)";
}

// Eight bytes at a time where all are printable ASCII, as nearly every cell's are: a large
// report passes millions of cells through here.
bool NeedsNoChange(std::string_view text, size_t limit) {
    if (text.size() > limit) return false;
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    // Any byte at or above 0x80, below 0x20 or equal to 0x7F: only then is a closer look needed.
    const auto plain = [&](size_t at) {
        uint64_t eight;
        std::memcpy(&eight, text.data() + at, 8);
        const uint64_t del = eight ^ (0x7F * kOnes);
        return ((eight | ((eight - 0x20 * kOnes) & ~eight) | ((del - kOnes) & ~del)) & kHigh) == 0;
    };
    if (text.size() >= 8) {
        size_t i = 0;
        while (i + 8 <= text.size() && plain(i))
            i += 8;
        // The last eight bytes again, overlapping, instead of a byte-wise tail.
        if (i + 8 > text.size() && plain(text.size() - 8)) return true;
    }
    for (const char c : text)
        if (IsControlByte(static_cast<unsigned char>(c))) return false;
    return true;
}

} // namespace

// Texts from the cabinet must not steer the terminal: cells are shown as plain text, and the
// widths count what is shown. Each row is visited twice, to measure and to write, so that no
// copy of the table is kept.
void WriteRows(std::ostream& out, const std::vector<std::string_view>& captions, size_t rows,
               const TRowVisitor& visit, const std::vector<size_t>& limits, bool flatten) {
    const auto limit = [&](size_t c) { return c < limits.size() ? limits[c] : kMaxShownCell; };
    // A cell as shown: its own text where it needs no escaping and no cut (most cells), else
    // the escaped and cut copy, kept until the next cell.
    std::string copy;
    const auto shown = [&copy, flatten](std::string_view text, size_t most) -> std::string_view {
        if (NeedsNoChange(text, most)) return text;
        copy = ShownCell(text, most, flatten);
        return copy;
    };
    std::vector<size_t> widths(captions.size(), 0);
    for (size_t c = 0; c < captions.size(); ++c)
        widths[c] = shown(captions[c], kMaxShownCell).size();
    size_t column = 0;
    const TCellVisitor measure = [&](std::string_view text) {
        if (column < widths.size())
            widths[column] = std::max(widths[column], shown(text, limit(column)).size());
        ++column;
    };
    for (size_t r = 0; r < rows; ++r) {
        column = 0;
        visit(r, measure);
    }
    // A cell is padded to its column's width only when another follows it. The lines go out in
    // pieces of about 64 KB: one write per line costs more than the line.
    std::string lines;
    size_t pad = 0;
    const auto put = [&](std::string_view text) {
        if (column > 0) lines.append(pad, ' ');
        lines += text;
        pad = (column < widths.size() ? widths[column] : text.size()) - text.size() + 2;
        ++column;
    };
    const TCellVisitor write = [&](std::string_view text) { put(shown(text, limit(column))); };
    lines += "  ";
    column = 0;
    for (const std::string_view caption : captions)
        put(shown(caption, kMaxShownCell));
    lines += '\n';
    for (size_t r = 0; r < rows; ++r) {
        lines += "  ";
        column = 0;
        visit(r, write);
        lines += '\n';
        if (lines.size() >= (64u << 10)) {
            out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
            lines.clear();
        }
    }
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
}

// Every column of the page, the reports' own ones too, each as wide as its widest text.
void WriteTable(std::ostream& out, const TPage& page, const std::vector<size_t>& limits) {
    std::vector<std::string_view> captions;
    captions.reserve(page.Columns.size());
    for (const TColumn& column : page.Columns)
        captions.push_back(column.Caption);
    WriteRows(
        out, captions, page.Rows.size(),
        [&](size_t r, const TCellVisitor& cell) {
            for (const TCell& c : page.Rows[r].Cells)
                cell(c.Text);
        },
        limits);
}

TFieldTables::TFieldTables(std::ostream& out) : FOut(out) {}

void TFieldTables::Line(std::string_view text) {
    FLines += text;
    FLines += '\n';
}

void TFieldTables::EscapedLine(std::string_view text, std::string_view more) {
    // PlainText reads a text as UTF-8 or as bytes by the whole of it: the two parts are only
    // taken as they are when neither holds anything to escape.
    if (!HasControlByte(text) && !HasControlByte(more)) {
        FLines += text;
        FLines += more;
        FLines += '\n';
        return;
    }
    std::string whole(text);
    Line(PlainText(whole += more));
}

void TFieldTables::Begin(const char* const (&captions)[2]) {
    // A report of many programs begins every table under the same captions: kept as they are.
    const auto kept = [&](size_t c) {
        return FCells.size() >= 2 &&
               std::string_view(FTexts).substr(FCells[c].first, FCells[c].second) == captions[c];
    };
    if (kept(0) && kept(1)) {
        FTexts.resize(FCells[1].first + FCells[1].second);
        FCells.resize(2);
        return;
    }
    FTexts.clear();
    FCells.clear();
    for (const char* caption : captions)
        Cell(caption);
}

void TFieldTables::Field(const char* field, std::string_view value) {
    // The field's name is the report's own: only the value can hold what needs escaping.
    FCells.push_back({FTexts.size(), std::strlen(field)});
    FTexts += field;
    Cell(value);
}

// Copied as shown, whatever the text: a visited value lives only for its call.
void TFieldTables::Cell(std::string_view text) {
    const size_t offset = FTexts.size();
    if (NeedsNoChange(text, kMaxShownCell))
        FTexts += text;
    else
        FTexts += ShownCell(text, kMaxShownCell);
    FCells.push_back({offset, FTexts.size() - offset});
}

void TFieldTables::End() {
    // Cells come in pairs: the field, then its value.
    size_t width = 0;
    size_t values = 0;
    for (size_t i = 0; i + 1 < FCells.size(); i += 2) {
        width = std::max(width, FCells[i].second);
        values += FCells[i + 1].second;
    }
    // Laid out in place: one resize, then every line copied where it goes.
    const size_t rows = FCells.size() / 2;
    const size_t start = FLines.size();
    FLines.resize(start + values + rows * (width + 5));
    char* at = FLines.data() + start;
    const auto put = [&](std::pair<size_t, size_t> cell) {
        std::memcpy(at, FTexts.data() + cell.first, cell.second);
        at += cell.second;
    };
    for (size_t i = 0; i + 1 < FCells.size(); i += 2) {
        *at++ = ' ';
        *at++ = ' ';
        put(FCells[i]);
        const size_t pad = width - FCells[i].second + 2;
        std::memset(at, ' ', pad);
        at += pad;
        put(FCells[i + 1]);
        *at++ = '\n';
    }
    if (FLines.size() >= (64u << 10)) Flush();
}

void TFieldTables::Flush() {
    FOut.write(FLines.data(), static_cast<std::streamsize>(FLines.size()));
    FLines.clear();
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

// The provisioning page with its items indented by depth, its long cells cut and its line
// breaks (nested documents) shown as spaces, then each certificate as a table of its fields.
// Rows are made from the tree as they are written: a value may be megabytes long.
void WriteProvisioning(std::ostream& out, const TCESetup& setup, TSetupDocument& document) {
    const provisioning::TProvisioningTree* read = document.Get();
    if (!read) return;
    const provisioning::TProvisioningTree& tree = *read;
    const size_t rows = provisioning::ProvisioningRowCount(tree);
    out << '\n' << provisioning::kProvisioningCaption << " (" << rows << ")\n";
    if (provisioning::IsProvisioningOnly(setup))
        out << "  " << PlainText(provisioning::ProvisioningHeadline(provisioning::Summarize(tree)))
            << '\n';
    // Item, Name, Value, Attributes, Meaning.
    const std::vector<size_t> limits{kMaxShownCell, kMaxCell, kMaxCell, kMaxCell, kMaxMeaning};
    std::string item;
    std::string attributes;
    WriteRows(
        out,
        {std::begin(provisioning::kProvisioningColumns),
         std::end(provisioning::kProvisioningColumns)},
        rows,
        [&](size_t r, const TCellVisitor& cell) {
            const provisioning::TProvisioningRowView row = provisioning::ProvisioningRowAt(tree, r);
            item.assign(size_t(2 * std::min<int64_t>(row.Depth, kMaxIndent)), ' ');
            item += row.Item;
            attributes =
                row.Node == 0 ? std::string() : provisioning::AttributesText(tree.Nodes[row.Node]);
            for (const std::string_view text :
                 {std::string_view(item), row.Name, row.Value, std::string_view(attributes),
                  std::string_view(row.Meaning)})
                cell(text);
        },
        limits, true);

    const TPage columns = provisioning::CertificatesPageColumns();
    out << '\n' << columns.Caption << " (" << tree.Certificates.size() << ")\n";
    for (size_t i = 0; i < tree.Certificates.size(); ++i) {
        if (i > 0) out << '\n';
        // The two store columns always; the others only when they have something to say.
        TPage fields = FieldsPage(columns, provisioning::CertificateRow(tree.Certificates[i]), 2);
        for (TRow& field : fields.Rows)
            Flatten(field.Cells[1].Text);
        WriteTable(out, fields, {kMaxShownCell, kMaxMeaning});
    }
}

// The Device Files page as the windows show it, written from the model itself: a page of cells
// for tens of thousands of files would cost more than the text.
void WriteFilesList(std::ostream& out, TCESetup& setup, const TCABFileContents& listing) {
    const std::vector<const TCABFileEntry*> entries = FileRowEntries(setup, listing);
    const std::vector<size_t> order = FilesPageOrder(setup);
    const std::string separator = LocaleDecimalSeparator();
    out << '\n' << kFilesCaption << " (" << order.size() << ")\n";
    WriteRows(out, {std::begin(kFilesColumns), std::end(kFilesColumns)}, order.size(),
              [&](size_t r, const TCellVisitor& cell) {
                  VisitFilesPageCells(setup, order[r], entries[order[r]], separator, cell);
              });
}

} // namespace

void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet,
                     const TCabinetSignature& signature, TSetupDocument& document) {
    // The load's listing serves the setup-DLL row and the sizes of all files.
    TPage properties = BuildPropertiesPage(setup, cabinet.CABFileContents);
    AddSignatureRows(properties, signature);
    out << PlainText(properties.Caption) << '\n';
    WriteTable(out, properties);
    WriteFilesList(out, setup, cabinet.CABFileContents);
    WriteCountedPage(out, BuildShortcutsPage(setup));
    WriteCountedPage(out, BuildRegistryPages(setup).Values);
    WriteProvisioning(out, setup, document);
}
