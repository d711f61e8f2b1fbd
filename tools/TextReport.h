#pragma once
#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

class TCESetup;
class TCABFile;
class TCabinetLook;
class TSetupDocument;
struct TCabinetSignature;
struct TPage;

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
// The same for a table of (field, value) rows under two captions, without a page.
void WriteFieldTable(std::ostream& out, const char* const (&captions)[2],
                     const std::vector<std::pair<const char*, std::string>>& fields);
// A blank line, the page's caption with its row count, then its table.
void WriteCountedPage(std::ostream& out, const TPage& page);
