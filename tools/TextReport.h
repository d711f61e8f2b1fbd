#pragma once
#include "report/Page.h"

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TCESetup;
class TCABFile;
class TCabinetLook;
class TSetupDocument;
struct TCabinetSignature;

// The property rows, files, shortcuts and registry values as the viewer shows them, then the
// provisioning document (document's). The cabinet holds the listing of the load look saw.
void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet,
                     const TCabinetSignature& signature, TSetupDocument& document);

// A text-report cell is cut beyond this many characters, so that no column (and no line) grows
// with the data; --json has every value whole.
inline constexpr size_t kMaxShownCell = 200;

// A page's column captions and its rows' texts, each column as wide as its widest text. Every
// text is escaped for the terminal (PlainText) and cut, with its whole length named, when wider
// than its column's limit: limits[c], or kMaxShownCell.
void WriteTable(std::ostream& out, const TPage& page, const std::vector<size_t>& limits = {});
// The same for rows no page holds: visit(r, cell) hands over row r's texts in column order, and
// is asked twice for each row, once to measure it and once to write it. Flattened, line breaks
// and tabs in the texts are shown as spaces.
using TRowVisitor = std::function<void(size_t row, const TCellVisitor& cell)>;
void WriteRows(std::ostream& out, const std::vector<std::string_view>& captions, size_t rows,
               const TRowVisitor& visit, const std::vector<size_t>& limits = {},
               bool flatten = false);

// Tables of (field, value) rows under two captions, as WriteTable lays them out, written one
// after another through the same buffers: a report of many programs writes one per program.
// Nothing reaches out until the buffer holds about 64 KB, or Flush.
class TFieldTables {
  public:
    explicit TFieldTables(std::ostream& out);
    TFieldTables(const TFieldTables&) = delete;
    TFieldTables& operator=(const TFieldTables&) = delete;
    // A line of text between tables, already as a terminal may show it.
    void Line(std::string_view text);
    // A line of two texts as one, escaped for the terminal as one (PlainText).
    void EscapedLine(std::string_view text, std::string_view more);
    void Begin(const char* const (&captions)[2]);
    // The value escaped and cut as WriteTable's cells; field is the report's own name, shown as
    // it is. The texts are copied.
    void Field(const char* field, std::string_view value);
    void End();
    void Flush();

  private:
    void Cell(std::string_view text);
    std::ostream& FOut;
    std::string FTexts;                            // the table's cells as shown, one after another
    std::vector<std::pair<size_t, size_t>> FCells; // offset and size in FTexts, row after row
    std::string FLines;
};
// A blank line, the page's caption with its row count, then its table.
void WriteCountedPage(std::ostream& out, const TPage& page);
