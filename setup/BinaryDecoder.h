#pragma once
// Decoding a binary ".000" descriptor into the setup model.
#include "setup/CECAB.h"

#include <cstdint>
#include <vector>

// Fills the header fields and the six tables of setup from the descriptor bytes, whose magic has
// been checked and whose tables have been cleared. Throws EDescriptorError when an offset, count,
// length or text reaches past the end, leaving the model as far as decoding got.
void DecodeBinaryDescriptor(TCESetupBase& setup, const std::vector<uint8_t>& bytes);
