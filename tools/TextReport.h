#pragma once
#include <ostream>

class TCESetup;
class TCABFile;
class TCabinetLook;
struct TCabinetSignature;
struct TPage;

// The property rows, files, shortcuts and registry values as the viewer shows them, then the
// provisioning document. The cabinet holds the listing of the load look saw.
void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet, TCabinetLook& look,
                     const TCabinetSignature& signature);

// A page's column captions and its rows' texts, each column as wide as its widest text.
void WriteTable(std::ostream& out, const TPage& page);
// A blank line, the page's caption with its row count, then its table.
void WriteCountedPage(std::ostream& out, const TPage& page);
