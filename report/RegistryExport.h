#pragma once
// The setup's registry values as a REGEDIT4 ".reg" text, for ordinary registry tools to read
// or merge. Keys come in the order the key tree shows them, each once, with its values in model
// order; folder macros stay as text.
#include "cab/FileSystem.h"

#include <string>

class TCESetup;

// Lines end in CR LF. Strings are quoted with "\" and quotes escaped ("hex(1):" when they hold a
// line break or NUL), numbers "dword:", binary "hex:", multi-strings "hex(7):" with each text's
// bytes and a NUL, closed by one more NUL. A value whose text the model cannot give back exactly
// as its type (a number that is not decimal, binary that is not the reader's byte text) and
// values under a root number that is no registry root are written as comment lines instead.
[[nodiscard]] std::string RegistryExportText(const TCESetup& setup);

// Writes that text to path through a temporary file beside it; a failure leaves whatever was at
// path untouched and says why, naming the file.
[[nodiscard]] TWriteResult ExportRegistry(const TCESetup& setup, const std::string& path);
