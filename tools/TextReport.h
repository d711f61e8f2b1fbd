#pragma once
#include <ostream>

class TCESetup;
class TCABFile;

// The property rows, files, shortcuts and registry values as the viewer shows them.
void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet);
