#include "setup/CESetup.h"

#include "cab/AsciiCase.h"
#include "cab/Errors.h"

#include "setup/SetupFuncs.h"
#include "setup/SetupINF.h"
#include "setup/SetupXML.h"

#include <unordered_map>

TCESetup::TCESetup()
    : INFHandler(std::make_unique<TSetupINF>()), XMLHandler(std::make_unique<TSetupXML>()),
      ExternalHandler(std::make_unique<TExternalINF>()) {}

TCESetup::~TCESetup() = default;

TCESetupBase* TCESetup::Handler() const {
    if (Format == kFormatBinary) return INFHandler.get();
    if (Format == kFormatXML) return XMLHandler.get();
    return nullptr;
}

void TCESetup::DetectFormat(const std::string& cabinetPath) {
    DescriptorError.clear();
    INFHandler->Cabinet = Cabinet;
    XMLHandler->Cabinet = Cabinet;
    if (INFHandler->IsSetupCabinet(cabinetPath))
        Format = kFormatBinary;
    else if (XMLHandler->IsSetupCabinet(cabinetPath))
        Format = kFormatXML;
    else
        Format = kFormatNone;
}

bool TCESetup::IsSetupCabinet(const std::string& cabinetPath) {
    DetectFormat(cabinetPath);
    return Format != kFormatNone;
}

bool TCESetup::LoadSetup(const std::string& cabinetPath, const std::string& targetDir,
                         bool extract) {
    TCabinetLook look(cabinetPath);
    return LoadSetup(cabinetPath, targetDir, extract, look);
}

bool TCESetup::LoadSetup(const std::string& cabinetPath, const std::string& targetDir, bool extract,
                         TCabinetLook& look) {
    // The handlers see through look for this load only.
    struct TLookScope {
        TCESetup& Setup;
        ~TLookScope() { Setup.INFHandler->Look = Setup.XMLHandler->Look = nullptr; }
    } scope{*this};
    INFHandler->Look = XMLHandler->Look = &look;
    DetectFormat(cabinetPath);
    TCESetupBase* handler = Handler();
    if (!handler) return false;
    const bool result = handler->LoadSetup(cabinetPath, targetDir, extract);
    // Moved: a large setup's tables are not worth two copies. Extraction runs on these, with
    // the handler's rule for which entries are descriptors.
    Strings = std::move(handler->Strings);
    Dirs = std::move(handler->Dirs);
    RegPaths = std::move(handler->RegPaths);
    Files = std::move(handler->Files);
    RegValues = std::move(handler->RegValues);
    Shortcuts = std::move(handler->Shortcuts);
    Project = handler->Project;
    DescriptorError = handler->DescriptorError;
    return result;
}

bool TCESetup::ExtractFile(const std::string& fileName, const std::string& folder,
                           const std::string& destPath) {
    // The model's own rows: the handler's were taken over when the setup loaded.
    return Handler() && TCESetupBase::ExtractFileChecked(fileName, folder, destPath).Outcome !=
                            TExtractOutcome::Exception;
}

TExtractResult TCESetup::ExtractFileChecked(const std::string& fileName, const std::string& folder,
                                            const std::string& destPath) {
    if (!Handler()) return {TExtractOutcome::Exception, "No setup is loaded"};
    const TExtractResult result = TCESetupBase::ExtractFileChecked(fileName, folder, destPath);
    // The setup DLL has no file row and goes to no device folder: it is named by its entry,
    // without a folder, as the Programs page names it.
    if (result.Outcome != TExtractOutcome::NotFound || !Cabinet ||
        folder.find_first_not_of('\\') != std::string::npos)
        return result;
    try {
        Cabinet->ListContents();
        const auto& items = Cabinet->CABFileContents.Items();
        for (size_t i = 0; i < items.size(); ++i)
            if (SameTextAscii(items[i].Name, fileName) && IsSetupDllName(items[i].Name))
                return ExtractRowTo(static_cast<int>(i), destPath);
    } catch (const std::exception& e) {
        return {TExtractOutcome::Exception, e.what()};
    }
    return result;
}

bool TCESetup::IsDescriptorEntry(const std::string& entryName) {
    TCESetupBase* handler = Handler();
    return handler ? handler->IsDescriptorEntry(entryName) : true;
}

std::vector<std::pair<const TCABFileEntry*, size_t>>
TCESetup::FileEntries(const TCABFileContents& listing) {
    std::vector<std::pair<const TCABFileEntry*, size_t>> result;
    TCESetupBase* handler = Handler();
    if (Files.empty() || !handler) return result;
    std::unordered_map<int32_t, size_t> rowOfId;
    rowOfId.reserve(Files.size());
    for (size_t i = 0; i < Files.size(); ++i)
        rowOfId.emplace(Files[i].Id, i);
    for (const TCABFileEntry& entry : listing.Items()) {
        // An entry whose number does not convert stands for no file; the walk goes on.
        try {
            if (handler->IsDescriptorEntry(entry.Name)) continue;
            const int32_t number = EntryNumber(entry.Name);
            if (number == 999) continue;
            const auto row = rowOfId.find(number);
            if (row != rowOfId.end()) result.emplace_back(&entry, row->second);
        } catch (const EConvertError&) {
        }
    }
    return result;
}

std::optional<TCABFileEntry> TCESetup::FindCabEntry(const std::string& fileName) {
    try {
        if (!Cabinet || Files.empty()) return std::nullopt;
        Cabinet->ListContents();
        const std::string wanted = DeviceFileNamePart(fileName);
        for (const auto& [entry, row] : FileEntries(Cabinet->CABFileContents))
            if (SameTextAscii(Files[row].Name, wanted)) return *entry;
    } catch (...) {
    }
    return std::nullopt;
}

std::vector<std::optional<TCABFileEntry>> TCESetup::FindCabEntries() {
    try {
        if (Cabinet && !Files.empty()) {
            Cabinet->ListContents();
            return FindCabEntries(Cabinet->CABFileContents);
        }
    } catch (...) {
    }
    return std::vector<std::optional<TCABFileEntry>>(Files.size());
}

std::vector<std::optional<TCABFileEntry>>
TCESetup::FindCabEntries(const TCABFileContents& listing) {
    std::vector<std::optional<TCABFileEntry>> result(Files.size());
    if (!Handler()) return result;
    try {
        // A row's entry is the one Extract writes for it: its own, by number.
        const std::vector<int> entries = RowEntries(listing);
        for (size_t i = 0; i < Files.size(); ++i)
            if (entries[i] >= 0) result[i] = listing.Item(entries[i]);
    } catch (...) {
        result.assign(Files.size(), std::nullopt);
    }
    return result;
}

bool CabinetHasSetupDll(TCABFile& cabinet) {
    cabinet.ListContents();
    return HasSetupDllEntry(cabinet.CABFileContents);
}

bool IsSetupDllName(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && name.compare(dot, std::string::npos, ".999") == 0;
}

bool HasSetupDllEntry(const TCABFileContents& contents) {
    for (const TCABFileEntry& entry : contents.Items())
        if (IsSetupDllName(entry.Name)) return true;
    return false;
}
