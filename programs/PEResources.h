#pragma once
// The version resource of an image: found through the resource directory, read from its
// fixed part and its first string table. Internal to the PE reader.
#include "programs/PEBytes.h"
#include "programs/PEImage.h"

void ReadVersionResource(const pe::TBytes& bytes, const pe::TAddressMap& map,
                         uint32_t resourceAddress, TPEImage& image);
