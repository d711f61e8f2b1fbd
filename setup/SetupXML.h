#pragma once
// The handler of the "_setup.xml" descriptor.
#include "setup/CECAB.h"

#include <memory>
#include <string>

class TXMLParser;

class TSetupXML : public TCESetupBase {
  public:
    TSetupXML();
    ~TSetupXML() override;

    std::unique_ptr<TXMLParser> Parser; // setup mode (ProbeMode 1)
    std::string RootTagName;
    std::string MarkupBefore;
    std::string MarkupAfter;

    [[nodiscard]] bool ParseDescriptor(const std::string& fileName, TStream* stream) override;
    // The first entry whose file-name part, upper-cased, is "_SETUP.XML".
    [[nodiscard]] bool FindDescriptor(TCABFile& cabinet, TStream& stream) override;
    [[nodiscard]] bool LoadDescriptor() override;
    void WriteDescriptor(TStream& stream) override;
    [[nodiscard]] std::string GetDescriptorEntryName() override; // "_setup.xml"
    [[nodiscard]] bool IsDescriptorEntry(const std::string& entryName) override;
};
