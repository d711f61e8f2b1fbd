#pragma once
// The handler of the binary ".000" descriptor ("MSCE" and "CE4+").
#include "setup/CECAB.h"

class TSetupINF : public TCESetupBase {
  public:
    [[nodiscard]] bool ParseDescriptor(const std::string& fileName, TStream* stream) override;
    // The first entry whose extension is ".000".
    [[nodiscard]] bool FindDescriptor(TCABFile& cabinet, TStream& stream) override;
    [[nodiscard]] bool LoadDescriptor() override;
    void WriteDescriptor(TStream& stream) override;
    [[nodiscard]] std::string GetDescriptorEntryName() override;
    // True when the entry's number is 0.
    [[nodiscard]] bool IsDescriptorEntry(const std::string& entryName) override;
};
