#include "setup/CECAB.h"

#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/Streams.h"
#include "cab/cabfiles.h"
#include "setup/SetupFuncs.h"

#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace {

// Writes one entry to the exact path the user chose, never through a link and never over
// anything but a regular file; the target appears only when complete.
class TExactFileSink : public TEntrySink {
  public:
    TSafeFile File;
    std::string Error;
    bool Done = false;
    bool Write(const void* data, size_t count) override {
        if (File.Write(data, count)) return true;
        Error = File.Error();
        return false;
    }
    bool Finish(const TCABFileEntry& entry) override {
        const bool stamped = entry.Date.Year != 0;
        Done = File.Commit(stamped ? &entry.Date : nullptr);
        if (!Done) Error = File.Error();
        return Done;
    }
};

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

TCECAB_FileFlags SplitFileFlags(int32_t flags) {
    const auto bits = static_cast<uint32_t>(flags);
    return {static_cast<int32_t>(bits & ~(kFlagSelfRegister | kFlagShared)),
            static_cast<uint8_t>((bits & kFlagSelfRegister) != 0),
            static_cast<uint8_t>((bits & kFlagShared) != 0)};
}

const std::string& TCESetupBase::FileName(int index) const {
    const TCEINFFile& row = Files[index];
    return row.ExtractedPath.empty() ? row.Name : row.ExtractedPath;
}

void TCESetupBase::GetFile(int index, TCECAB_File& file) const {
    const TCEINFFile& row = Files[index];
    file.Name = FileName(index);
    file.Dir = row.Dir;
    const TCECAB_FileFlags flags = SplitFileFlags(row.Flags);
    file.Flags = flags.Flags;
    file.ActiveX = flags.ActiveX;
    file.Shared = flags.Shared;
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
    // The extension is what follows the last dot after the last separator. Every entry of a
    // listing is numbered, so this is one backward scan, and the digits are read without a copy.
    size_t dot = std::string::npos;
    for (size_t i = entryName.size(); i-- > 0;) {
        const char c = entryName[i];
        if (c == '\\' || c == '/') break;
        if (c == '.') {
            dot = i;
            break;
        }
    }
    if (dot == std::string::npos) return -1;
    int64_t value = 0;
    bool anyDigit = false;
    for (size_t i = dot + 1; i < entryName.size(); ++i) {
        const char d = entryName[i];
        if (d < '0' || d > '9') continue;
        anyDigit = true;
        value = value * 10 + (d - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            std::string digits;
            for (size_t k = dot + 1; k < entryName.size(); ++k)
                if (entryName[k] >= '0' && entryName[k] <= '9') digits += entryName[k];
            throw EConvertError("'" + digits + "' is not a valid integer value");
        }
    }
    return anyDigit ? static_cast<int32_t>(value) : -1;
}

std::string TCESetupBase::WithTrailingBackslash(const std::string& path) {
    if (path.empty() || path.back() == '\\') return path;
    return path + '\\';
}

TCabinetLook::TCabinetLook(const std::string& path)
    : FPath(path), FCabinet(std::make_unique<TCABFile>(nullptr)) {
    FCabinet->CABFile = path;
}

TCabinetLook::~TCabinetLook() = default;

// Both are asked of every entry of a cabinet that is read whole: plain loops, no copies.
bool IsBinaryDescriptorName(const std::string& name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (name[i] == '\\' || name[i] == '/') return false;
        if (name[i] == '.') return SameTextAscii(std::string_view(name).substr(i), ".000");
    }
    return false;
}

bool IsXmlDescriptorName(const std::string& name) {
    constexpr std::string_view kName = "_SETUP.XML";
    if (name.size() < kName.size()) return false;
    const size_t start = name.size() - kName.size();
    if (start > 0 && name[start - 1] != '\\' && name[start - 1] != ':') return false;
    return SameTextAscii(std::string_view(name).substr(start), kName);
}

namespace {
// Hands an entry's bytes on to the reader's own sink, if any, and keeps a copy.
class TKeepingSink final : public TEntrySink {
  public:
    explicit TKeepingSink(TEntrySink* also) : FAlso(also), FKept(kMaxDescriptorSize) {}
    bool Write(const void* data, size_t count) override {
        return (!FAlso || FAlso->Write(data, count)) && FKept.Write(data, count);
    }
    bool Finish(const TCABFileEntry& entry) override {
        return (!FAlso || FAlso->Finish(entry)) && FKept.Finish(entry);
    }
    TMemorySink& Kept() { return FKept; }

  private:
    TEntrySink* FAlso;
    TMemorySink FKept;
};
} // namespace

bool TCabinetLook::ListAndRead(const TOpenEntrySink& open) {
    // The first entry of each descriptor name is the one a walk takes; one too large is
    // refused from the listing, so it is not kept.
    bool binarySeen = false, xmlSeen = false;
    std::unordered_map<size_t, TKeepingSink> kept;
    const TOpenEntrySink offer = [&](size_t index, const TCABFileEntry& entry) -> TEntrySink* {
        TEntrySink* theirs = open(index, entry);
        bool keep = false;
        const bool small = entry.Size <= kMaxDescriptorSize;
        if (!binarySeen && IsBinaryDescriptorName(entry.Name)) keep = binarySeen = true;
        if (!xmlSeen && IsXmlDescriptorName(entry.Name)) keep = xmlSeen = true;
        if (!keep || !small) return theirs;
        TKeepingSink& sink = kept.try_emplace(index, theirs).first->second;
        sink.Kept().Expect(entry.Size);
        return &sink;
    };
    bool done = false;
    try {
        done = FCabinet->ListAndExtractEntries(offer);
        for (auto& [index, sink] : kept) {
            if (!sink.Kept().Finished()) done = false;
            if (done) FDescriptors[index] = std::move(sink.Kept().Data);
        }
    } catch (...) {
        done = false;
    }
    FListed = done;
    if (!done) {
        FCabinet->CABFileContents.Clear();
        FDescriptors.clear();
    }
    return done;
}

namespace {

// The descriptor's bytes into the caller's stream, every one of them.
void WriteDescriptorBytes(TStream& stream, const std::vector<uint8_t>& bytes,
                          const std::string& name) {
    if (bytes.empty()) return;
    const auto size = static_cast<int64_t>(bytes.size());
    if (stream.Write(bytes.data(), size) != size)
        throw EStreamError("The setup descriptor " + name + " could not be kept for reading");
}

} // namespace

bool TCESetupBase::FindDescriptorEntry(TCABFile& cabinet, TStream& stream,
                                       const std::function<bool(const std::string&)>& accept) {
    FDescriptorCut.clear();
    TCabinetLook* look = Look && Look->FPath == cabinet.CABFile ? Look : nullptr;
    TCABFile& lister = look ? *look->FCabinet : cabinet;
    // The listing stays outside the protection: its date conversion error reaches the caller.
    if (!look || !look->FListed) {
        lister.ListContents();
        if (look) look->FListed = true;
    }
    // The handler's own cabinet holds the listing after a load, as when it listed itself; the
    // temporary cabinets of identification are dropped unread.
    if (look && &cabinet == Cabinet) cabinet.CABFileContents.Assign(lister.CABFileContents);
    const auto& items = lister.CABFileContents.Items();
    for (size_t i = 0; i < items.size(); ++i) {
        const TCABFileEntry& entry = items[i];
        bool accepted = false;
        try {
            accepted = accept(entry.Name);
        } catch (...) {
            return false;
        }
        if (!accepted) continue;
        // Judged from the listing before anything is decompressed, and held while it is.
        const uint64_t size = entry.Size;
        if (size > kMaxDescriptorSize) throw ETooLarge(DescriptorTooLargeText(entry.Name, size));
        if (look) {
            if (const auto seen = look->FDescriptors.find(i); seen != look->FDescriptors.end()) {
                if (look->FCut.count(i)) FDescriptorCut = entry.Name + " could not be read whole";
                WriteDescriptorBytes(stream, seen->second, entry.Name);
                return true;
            }
        }
        TMemorySink sink(kMaxDescriptorSize);
        sink.Expect(size);
        bool whole = false;
        try {
            // Only this entry: later entries of the same name are not part of the descriptor.
            whole = lister.ExtractEntries([&](size_t index, const TCABFileEntry&) {
                return index == i ? &sink : nullptr;
            }) && sink.Finished();
            if (sink.Overflowed()) throw ETooLarge(DescriptorTooLargeText(entry.Name, size));
        } catch (const ETooLarge&) {
            throw;
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory("Out of memory reading the setup descriptor " + entry.Name);
        } catch (...) {
            sink.Data.clear();
        }
        // What a cut run decompressed is kept, to show what it holds, and the load is failed.
        if (!whole) FDescriptorCut = entry.Name + " could not be read whole";
        WriteDescriptorBytes(stream, sink.Data, entry.Name);
        // The next ask gets what this one wrote, even after a failed extraction: it would fail
        // alike.
        if (look) {
            look->FDescriptors[i] = std::move(sink.Data);
            if (!whole) look->FCut.insert(i);
        }
        return true;
    }
    return false;
}

std::string DescriptorTooLargeText(const std::string& name, uint64_t size) {
    return "The setup descriptor " + name + " is " + std::to_string(size) +
           " bytes; a descriptor larger than " + std::to_string(kMaxDescriptorSize) +
           " bytes is not read";
}

bool TCESetupBase::LoadDescriptorFromCabinet() {
    if (!Cabinet) return false;
    TMemoryStream stream;
    if (!FindDescriptor(*Cabinet, stream)) return false;
    const bool parsed = ParseDescriptor(std::string(), &stream);
    if (FDescriptorCut.empty()) return parsed;
    // A cut that happens to fall between records parses: the load is incomplete all the same.
    if (DescriptorError.empty()) DescriptorError = FDescriptorCut;
    return false;
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

std::vector<int> TCESetupBase::RowEntries(const TCABFileContents& listing) {
    std::vector<int> result(Files.size(), -1);
    if (Files.empty()) return result;
    // A row's Id is 16 bits: an entry numbered beyond stands for no row. The first entry of a
    // number counts.
    constexpr size_t kIds = size_t{1} << 16;
    std::vector<int> entryOfNumber(kIds, -1);
    const auto& items = listing.Items();
    for (size_t i = 0; i < items.size(); ++i) {
        // An entry whose number does not convert stands for no file; the others still count.
        try {
            const int32_t number = EntryNumber(items[i].Name);
            if (number == 999 || number < 0 || static_cast<size_t>(number) >= kIds) continue;
            int& entry = entryOfNumber[static_cast<size_t>(number)];
            if (entry >= 0 || IsDescriptorEntry(items[i].Name)) continue;
            entry = static_cast<int>(i);
        } catch (const EConvertError&) {
        }
    }
    for (size_t row = 0; row < Files.size(); ++row)
        result[row] = entryOfNumber[Files[row].Id];
    return result;
}

TExtractResult TCESetupBase::ExtractRowTo(int entry, const std::string& destPath) {
    TExtractResult result;
    TExactFileSink sink;
    if (!OpenSafeFile(sink.File, destPath)) {
        result.Outcome = TExtractOutcome::Failed;
        result.Message = sink.File.Error();
        return result;
    }
    const bool ran = Cabinet->ExtractEntries([&](size_t index, const TCABFileEntry&) {
        return static_cast<int>(index) == entry ? &sink : nullptr;
    });
    if (ran && sink.Done) {
        result.Outcome = TExtractOutcome::Extracted;
        return result;
    }
    result.Outcome = TExtractOutcome::Failed;
    result.Message =
        !sink.Error.empty()
            ? sink.Error
            : "cannot read " + Cabinet->CABFileContents.Item(entry).Name + " from the cabinet";
    return result;
}

TExtractResult TCESetupBase::ExtractRow(size_t row, const std::string& destPath) {
    TExtractResult result;
    if (row >= Files.size() || !Cabinet) return result;
    try {
        Cabinet->ListContents();
        const int entry = RowEntries(Cabinet->CABFileContents)[row];
        if (entry < 0) return result;
        return ExtractRowTo(entry, destPath);
    } catch (const std::bad_alloc&) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = "Out of memory";
    } catch (const std::exception& e) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = e.what();
    } catch (...) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = "Unknown error";
    }
    return result;
}

TExtractResult TCESetupBase::ExtractFileChecked(const std::string& fileName,
                                                const std::string& folder,
                                                const std::string& destPath) {
    TExtractResult result;
    if (Files.empty() || !Cabinet) return result;
    try {
        Cabinet->ListContents();
        Cabinet->TargetPath = FolderPart(destPath);
        // The first row of that name and folder that has an entry; the entry is that row's
        // own, the same one whose size the files view shows.
        const std::vector<int> entries = RowEntries(Cabinet->CABFileContents);
        const std::string wantedName = DeviceFileNamePart(fileName);
        const std::string wantedFolder = IncludeBackslash(folder);
        for (size_t row = 0; row < Files.size(); ++row) {
            if (entries[row] < 0) continue;
            const TCEINFFile& file = Files[row];
            if (!SameTextAscii(wantedName, file.Name)) continue;
            if (!SameTextAscii(wantedFolder, IncludeBackslash(file.Dir))) continue;
            return ExtractRowTo(entries[row], destPath);
        }
    } catch (const std::bad_alloc&) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = "Out of memory";
    } catch (const std::exception& e) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = e.what();
    } catch (...) {
        result.Outcome = TExtractOutcome::Exception;
        result.Message = "Unknown error";
    }
    return result;
}
