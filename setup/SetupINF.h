#pragma once
// The handler of the binary ".000" descriptor ("MSCE" and "CE4+").
#include "setup/CECAB.h"

class TSetupINF : public TCESetupBase {
  public:
    // False when the bytes do not begin as a descriptor or cannot be read, and when decoding
    // stops part way (DescriptorError says where; the model keeps what was decoded). Out of
    // memory raises EOutOfMemory.
    [[nodiscard]] bool ParseDescriptor(const std::string& fileName, TStream* stream) override;
    // The first entry whose extension is ".000".
    [[nodiscard]] bool FindDescriptor(TCABFile& cabinet, TStream& stream) override;
    [[nodiscard]] bool LoadDescriptor() override;
    void WriteDescriptor(TStream& stream) override;
    [[nodiscard]] std::string GetDescriptorEntryName() override;
    // True when the entry's number is 0.
    [[nodiscard]] bool IsDescriptorEntry(const std::string& entryName) override;
};
