#pragma once
// The setup facade: decides which handler a cabinet belongs to, loads through it and takes over
// its model. The window talks to nothing else.
#include "cab/cabfiles.h"
#include "setup/CECAB.h"

#include <memory>
#include <optional>
#include <vector>

class TSetupINF;
class TSetupXML;

enum : uint8_t { kFormatNone = 0, kFormatBinary = 1, kFormatXML = 2 };

class TCESetup : public TCESetupBase {
  public:
    TCESetup();
    ~TCESetup() override;

    uint8_t Format = kFormatNone;
    std::unique_ptr<TSetupINF> INFHandler;
    std::unique_ptr<TSetupXML> XMLHandler;
    std::unique_ptr<TExternalINF> ExternalHandler;
    uint8_t BuildAsXML = 0;

    // Sets Format; the binary handler is asked first.
    void DetectFormat(const std::string& cabinetPath);
    [[nodiscard]] bool IsSetupCabinet(const std::string& cabinetPath) override;
    // Takes over the chosen handler's tables and Project whatever its result. False with Format
    // kFormatNone for a cabinet that holds no setup; false with a Format when the descriptor is
    // damaged or cut (DescriptorError says how, when it can), the model holding what was decoded.
    // The listing's exceptions (an invalid date) and the handlers' (a descriptor too large, an
    // XML descriptor that does not parse) pass out.
    [[nodiscard]] bool LoadSetup(const std::string& cabinetPath, const std::string& targetDir,
                                 bool extract) override;
    // The same load, seeing the cabinet through look: identification and loading share one
    // listing and one decompression of the descriptor, and the caller can read more of the
    // cabinet through it afterwards.
    [[nodiscard]] bool LoadSetup(const std::string& cabinetPath, const std::string& targetDir,
                                 bool extract, TCabinetLook& look);
    [[nodiscard]] bool ExtractFile(const std::string& fileName, const std::string& folder,
                                   const std::string& destPath) override;
    [[nodiscard]] TExtractResult ExtractFileChecked(const std::string& fileName,
                                                    const std::string& folder,
                                                    const std::string& destPath) override;
    // The chosen handler's rule; every entry without one.
    [[nodiscard]] bool IsDescriptorEntry(const std::string& entryName) override;
    // The cabinet entry of the model file with that name (the folder is not compared).
    [[nodiscard]] std::optional<TCABFileEntry> FindCabEntry(const std::string& fileName);
    // The entry Extract writes for every row of Files (same name and folder), in row order,
    // from one listing.
    [[nodiscard]] std::vector<std::optional<TCABFileEntry>> FindCabEntries();
    // The same answers from a listing the caller already holds, so one listing can serve
    // several views.
    [[nodiscard]] std::vector<std::optional<TCABFileEntry>>
    FindCabEntries(const TCABFileContents& listing);

  private:
    [[nodiscard]] TCESetupBase* Handler() const;
    // The entries that stand for model files: (entry, row of Files) in cabinet order.
    [[nodiscard]] std::vector<std::pair<const TCABFileEntry*, size_t>>
    FileEntries(const TCABFileContents& listing);
};

// Whether the cabinet holds a setup DLL: an entry whose extension is exactly ".999". Lists the
// cabinet afresh.
[[nodiscard]] bool CabinetHasSetupDll(TCABFile& cabinet);
// The same test on entries already listed.
[[nodiscard]] bool HasSetupDllEntry(const TCABFileContents& contents);
// Whether an entry's name is a setup DLL's: its extension exactly ".999".
[[nodiscard]] bool IsSetupDllName(const std::string& name);
