#include "setup/CECAB.h"

#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/Streams.h"
#include "cab/cabfiles.h"
#include "setup/SetupFuncs.h"

#include <limits>
#include <unordered_map>

namespace {

// An entry stored with a folder would land in that folder below the destination's; the user
// chose one path, so the bytes go there and nowhere else.
bool ExtractToExactPath(TCABFile& cabinet, const TCABFileEntry& entry, const std::string& dest) {
    bool written = false;
    try {
        TFileWriteStream out(dest);
        written = cabinet.ExtractToStream(out, entry.Name) && out.Size() == entry.Size;
        if (written) SetFileHandleTime(out.Handle(), entry.Date);
        written = out.Close() && written;
    } catch (const EStreamError&) {
        return false;
    } catch (...) {
        DeleteFileName(dest);
        throw;
    }
    if (!written) DeleteFileName(dest);
    return written;
}

} // namespace

TCESetupBase::TCESetupBase() : CabBuilder(std::make_unique<TCECabBuilder>()) {}
TCESetupBase::~TCESetupBase() = default;

bool TCESetupBase::ParseDescriptor(const std::string&, TStream*) {
    return false;
}
bool TCESetupBase::FindDescriptor(TCABFile&, TStream&) {
    return false;
}
bool TCESetupBase::LoadDescriptor() {
    return false;
}
void TCESetupBase::WriteDescriptor(TStream&) {}
std::string TCESetupBase::GetDescriptorEntryName() {
    return {};
}
bool TCESetupBase::IsDescriptorEntry(const std::string&) {
    return true;
}
bool TCESetupBase::BuildSetupCabinet() {
    return false;
}

void TCESetupBase::GetFile(int index, TCECAB_File& file) const {
    const TCEINFFile& row = Files[index];
    const auto flags = static_cast<uint32_t>(row.Flags);
    file.Name = row.ExtractedPath.empty() ? row.Name : row.ExtractedPath;
    file.Dir = row.Dir;
    file.Flags = static_cast<int32_t>(flags & ~(kFlagSelfRegister | kFlagShared));
    file.ActiveX = (flags & kFlagSelfRegister) != 0;
    file.Shared = (flags & kFlagShared) != 0;
}

void TCESetupBase::GetRegEntry(int index, TCECAB_RegEntry& entry) const {
    const TCEINFRegValue& row = RegValues[index];
    entry.Root = static_cast<uint8_t>(row.Root & 0xFF);
    entry.KeyPath = row.KeyPath;
    entry.Name = row.Name;
    entry.Data = row.Data;
    entry.DataType = static_cast<uint8_t>(row.DataType & 0xFF);
}

void TCESetupBase::GetShortcut(int index, TCECAB_Shortcut& shortcut) const {
    const TCEINFShortcut& row = Shortcuts[index];
    shortcut.Name = row.Name;
    shortcut.FileName = row.FileName;
    shortcut.Folder = row.Folder;
}

void TCESetupBase::ClearModel() {
    Strings.clear();
    Dirs.clear();
    RegPaths.clear();
    Files.clear();
    RegValues.clear();
    Shortcuts.clear();
}

int32_t TCESetupBase::EntryNumber(const std::string& entryName) {
    const size_t dot = entryName.rfind('.');
    const size_t sep = entryName.find_last_of("\\/");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return -1;
    std::string digits;
    for (size_t i = dot + 1; i < entryName.size(); ++i)
        if (entryName[i] >= '0' && entryName[i] <= '9') digits += entryName[i];
    if (digits.empty()) return -1;
    int64_t value = 0;
    for (const char d : digits) {
        value = value * 10 + (d - '0');
        if (value > std::numeric_limits<int32_t>::max())
            throw EConvertError("'" + digits + "' is not a valid integer value");
    }
    return static_cast<int32_t>(value);
}

std::string TCESetupBase::WithTrailingBackslash(const std::string& path) {
    if (path.empty() || path.back() == '\\') return path;
    return path + '\\';
}

bool TCESetupBase::FindDescriptorEntry(TCABFile& cabinet, TStream& stream,
                                       const std::function<bool(const std::string&)>& accept) {
    // The listing stays outside the protection: its date conversion error reaches the caller.
    cabinet.ListContents();
    try {
        for (const TCABFileEntry& entry : cabinet.CABFileContents.Items()) {
            if (!accept(entry.Name)) continue;
            (void)cabinet.ExtractToStream(stream, entry.Name);
            return true;
        }
    } catch (...) {
    }
    return false;
}

bool TCESetupBase::LoadDescriptorFromCabinet() {
    if (!Cabinet) return false;
    TMemoryStream stream;
    if (!FindDescriptor(*Cabinet, stream)) return false;
    return ParseDescriptor(std::string(), &stream);
}

bool TCESetupBase::IsSetupCabinet(const std::string& cabinetPath) {
    TCABFile cabinet(nullptr);
    if (!cabinet.IsCabinet(cabinetPath)) return false;
    cabinet.CABFile = cabinetPath;
    TMemoryStream stream;
    return FindDescriptor(cabinet, stream);
}

bool TCESetupBase::LoadSetup(const std::string& cabinetPath, const std::string& targetDir, bool) {
    if (!Cabinet || !IsSetupCabinet(cabinetPath)) return false;
    Cabinet->CABFile = cabinetPath;
    Cabinet->TargetPath = targetDir;
    return LoadDescriptor();
}

bool TCESetupBase::ExtractFile(const std::string& fileName, const std::string& folder,
                               const std::string& destPath) {
    return ExtractFileChecked(fileName, folder, destPath).Outcome != TExtractOutcome::Exception;
}

TExtractResult TCESetupBase::ExtractFileChecked(const std::string& fileName,
                                                const std::string& folder,
                                                const std::string& destPath) {
    TExtractResult result;
    if (Files.empty() || !Cabinet) return result;
    try {
        Cabinet->ListContents();
        Cabinet->TargetPath = FolderPart(destPath);
        // First row per id, as a scan from row 0 would find it.
        std::unordered_map<int32_t, size_t> rowOfId;
        rowOfId.reserve(Files.size());
        for (size_t i = 0; i < Files.size(); ++i)
            rowOfId.emplace(Files[i].Id, i);
        const std::string wantedName = DeviceFileNamePart(fileName);
        const std::string wantedFolder = IncludeBackslash(folder);
        for (const TCABFileEntry& entry : Cabinet->CABFileContents.Items()) {
            if (IsDescriptorEntry(entry.Name)) continue;
            const int32_t number = EntryNumber(entry.Name);
            if (number == 999) continue;
            const auto row = rowOfId.find(number);
            if (row == rowOfId.end()) continue;
            const TCEINFFile& file = Files[row->second];
            if (!SameTextAscii(wantedName, file.Name)) continue;
            if (!SameTextAscii(wantedFolder, IncludeBackslash(file.Dir))) continue;
            const bool written = EntryFolderPart(entry.Name).empty()
                                     ? Cabinet->ExtractEntry(entry.Name, FileNamePart(destPath))
                                     : ExtractToExactPath(*Cabinet, entry, destPath);
            result.Outcome = written ? TExtractOutcome::Extracted : TExtractOutcome::Failed;
            break;
        }
    } catch (const std::exception& e) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = e.what();
    } catch (...) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = "Unknown error";
    }
    return result;
}
