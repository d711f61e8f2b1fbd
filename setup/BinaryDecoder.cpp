#include "setup/BinaryDecoder.h"

#include "setup/BinaryDescriptor.h"
#include "setup/SetupFuncs.h"

#include <array>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace {

using namespace descriptor;

std::string Decimal(uint32_t value) {
    return std::to_string(value);
}

std::string HexBytes(const TDescriptorBytes& bytes, uint64_t at, uint64_t count) {
    std::string text;
    text.reserve(count * 3);
    for (uint64_t i = 0; i < count; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", bytes.U8(at + i));
        if (i > 0) text += ' ';
        text += digits;
    }
    return text;
}

enum class ValueType { None, String, Binary, MultiString, Number };

// Entry bytes 5 to 8: the high byte of the string marker and the low three bytes of the flags.
ValueType TypeOf(const TDescriptorBytes& bytes, uint64_t at) {
    const uint8_t b5 = bytes.U8(at + 5), b6 = bytes.U8(at + 6) & ~2;
    const uint8_t b7 = bytes.U8(at + 7), b8 = bytes.U8(at + 8);
    if (b5 != 0 || b7 != 0 || b6 > 1 || b8 > 1) return ValueType::None;
    if (b6 == 0) return b8 == 0 ? ValueType::String : ValueType::MultiString;
    return b8 == 0 ? ValueType::Binary : ValueType::Number;
}

class TBinaryDecoder {
  public:
    TBinaryDecoder(TCESetupBase& setup, const std::vector<uint8_t>& bytes)
        : FSetup(setup), FProject(setup.Project), FBytes(bytes),
          // Decoded text may outgrow the descriptor a little (macro names, joined paths), but
          // not by orders of magnitude; overlapping entries could make it do so.
          FBudget(16 * uint64_t{bytes.size()} + (64u << 10)) {}

    void Run() {
        // Each step names the part it reads, so that a failure can say where it happened.
        const auto step = [](const char* part, auto&& read) {
            try {
                read();
            } catch (const EDescriptorError& e) {
                throw EDescriptorError(std::string(e.what()) + " in the " + part);
            }
        };
        step("header", [&] { Header(); });
        step("table header", [&] {
            for (int t = 0; t < TableCount; ++t)
                FTables[t].emplace(FBytes, static_cast<descriptor::Table>(t));
        });
        step("install directory and unsupported devices", [&] { InstallDirAndDevices(); });
        FCacheTexts = true; // InstallDir holds its final value from here on
        step("string table", [&] { StringRows(); });
        step("directory table", [&] { DirRows(); });
        step("file table", [&] { FileRows(); });
        step("registry key table", [&] { RegPathRows(); });
        step("registry value table", [&] { RegValueRows(); });
        step("shortcut table", [&] { ShortcutRows(); });
        step("platform extension", [&] { Platform(); });
    }

  private:
    TDescriptorTable& Table(descriptor::Table t) { return *FTables[t]; }

    void Charge(uint64_t size) {
        if (size > FBudget) throw EDescriptorError("decoded text outgrows the descriptor");
        FBudget -= size;
    }

    std::string Text(uint64_t at) {
        std::string text = FBytes.Text(at);
        Charge(text.size());
        return text;
    }

    std::string StringText(uint16_t id, bool shortcut) {
        auto& cache = FTexts[shortcut];
        if (FCacheTexts) {
            const auto found = cache.find(id);
            if (found != cache.end()) return found->second;
        }
        const int64_t at = Table(Strings).Find(id);
        std::string text =
            at < 0 ? std::string() : FSetup.MacroizePath(Text(at + 4), shortcut, false);
        if (FCacheTexts) cache.emplace(id, text);
        return text;
    }

    std::string PathOf(const std::vector<uint16_t>& ids, bool shortcut) {
        // Each id is work even when it names no string: overlapping lists of unknown ids must
        // not read the same bytes over and over without limit.
        Charge(ids.size());
        std::string path;
        for (const uint16_t id : ids) {
            const std::string part = TCESetupBase::WithTrailingBackslash(StringText(id, shortcut));
            Charge(part.size());
            path += part;
        }
        return ExcludeBackslash(path);
    }

    std::string Folder(uint16_t dirId, bool shortcut) {
        auto& cache = FFolders[shortcut];
        const auto found = cache.find(dirId);
        if (found != cache.end()) {
            Charge(found->second.size());
            return found->second;
        }
        std::string folder;
        const int64_t at = Table(Dirs).Find(dirId);
        if (at >= 0) {
            folder = FSetup.MacroizePath(PathOf(FBytes.IdList(at + 4), shortcut), shortcut, false);
            if (!folder.empty() && SameTextAscii(folder, ExcludeBackslash(FProject.InstallDir)))
                folder = "%InstallDir%";
        }
        cache.emplace(dirId, folder);
        return folder;
    }

    void Header() {
        FProject.SoftwareName = Text(FBytes.U16(kAppName));
        FProject.HeaderAppName = FProject.SoftwareName;
        FProject.ProgramGroup = FProject.SoftwareName;
        FProject.Processor = static_cast<int32_t>(FBytes.U32(kProcessor));
        FProject.MinVersion = Decimal(FBytes.U32(kMinMajor)) + "." +
                              Decimal(FBytes.U32(kMinMinor)) + "." + Decimal(FBytes.U32(kMinBuild));
        FProject.MaxVersion = Decimal(FBytes.U32(kMaxMajor)) + "." +
                              Decimal(FBytes.U32(kMaxMinor)) + "." + Decimal(FBytes.U32(kMaxBuild));
        FProject.CompanyName = Text(FBytes.U16(kProvider));
    }

    void InstallDirAndDevices() {
        const uint16_t listAt = FBytes.U16(kDeviceList);
        const uint16_t listLength = FBytes.U16(kDeviceListLength);
        if (listAt == 0) {
            FProject.UnsupportedDevices.clear();
            FProject.InstallDir = ExcludeBackslash(StringText(FBytes.U16(kInstallStringId), false));
            return;
        }
        FProject.InstallDir = ExcludeBackslash(StringText(1, false));
        if (listLength == 0) return;
        std::string devices;
        uint64_t consumed = 0;
        std::string name;
        do {
            name = Text(listAt + consumed);
            consumed += name.size() + 1;
            if (!name.empty()) devices += (devices.empty() ? "" : ", ") + name;
        } while (!name.empty() && consumed < listLength);
        FProject.UnsupportedDevices = devices;
    }

    void StringRows() {
        FSetup.Strings.push_back({0, "%InstallDir%"});
        for (uint32_t id = 1; id <= Table(Strings).Count(); ++id) {
            if (Table(Strings).Find(static_cast<uint16_t>(id)) < 0) continue;
            std::string text = StringText(static_cast<uint16_t>(id), false);
            if (SameTextAscii(text, FProject.InstallDir))
                FSetup.Strings[0].Id = static_cast<uint16_t>(id);
            else
                FSetup.Strings.push_back({static_cast<uint16_t>(id), std::move(text)});
        }
    }

    void DirRows() {
        FSetup.Dirs.push_back({0, "%InstallDir%", {}});
        for (uint32_t i = 0; i < Table(Dirs).Count(); ++i) {
            const uint64_t at = Table(Dirs).EntryAt(static_cast<uint16_t>(i));
            const uint16_t id = FBytes.U16(at);
            std::string path = PathOf(FBytes.IdList(at + 4), false);
            if (SameTextAscii(path, FProject.InstallDir))
                FSetup.Dirs[0].Id = id;
            else
                FSetup.Dirs.push_back({id, std::move(path), {}});
        }
    }

    void FileRows() {
        for (uint32_t id = 1; id <= Table(Files).Count(); ++id) {
            const int64_t at = Table(Files).Find(static_cast<uint16_t>(id));
            if (at < 0) continue;
            TCEINFFile file;
            file.Id = static_cast<uint16_t>(id);
            file.Dir = Folder(FBytes.U16(at + 2), false);
            file.FileNo = FBytes.U16(at + 4);
            file.Flags = static_cast<int32_t>(FBytes.U32(at + 6));
            file.Name = Text(at + 12);
            FSetup.Files.push_back(std::move(file));
        }
    }

    // Root and path of a registry key entry, as the key rows hold them.
    const std::pair<int32_t, std::string>& RegKey(uint64_t at) {
        const auto found = FKeys.find(at);
        if (found != FKeys.end()) return found->second;
        const auto root = static_cast<int32_t>(FBytes.U32(at + 2) - 1);
        std::string path = FSetup.MacroizePath(PathOf(FBytes.IdList(at + 8), false), false, false);
        return FKeys.emplace(at, std::make_pair(root, std::move(path))).first->second;
    }

    void RegPathRows() {
        for (uint32_t id = 1; id <= Table(RegKeys).Count(); ++id) {
            const int64_t at = Table(RegKeys).Find(static_cast<uint16_t>(id));
            if (at < 0) continue;
            const auto& [root, path] = RegKey(static_cast<uint64_t>(at));
            FSetup.RegPaths.push_back({static_cast<uint16_t>(id), root, path, {}});
        }
    }

    void ValueData(uint64_t at, TCEINFRegValue& value) {
        const uint64_t length = FBytes.U16(at + 10);
        const ValueType type = TypeOf(FBytes, at);
        if (length <= value.Name.size() + 1 || type == ValueType::None) return;
        const uint64_t data = at + 12 + value.Name.size() + 1;
        const uint64_t end = at + 12 + length;
        switch (type) {
        case ValueType::String:
            value.Data = FSetup.MacroizePath(Text(data), false, false);
            break;
        case ValueType::Number:
            value.DataType = kTypeInteger;
            value.Data = Decimal(FBytes.U32(data));
            break;
        case ValueType::Binary:
            value.DataType = kTypeBinary;
            Charge(3 * (end - data));
            value.Data = HexBytes(FBytes, data, end - data);
            break;
        case ValueType::MultiString:
            value.DataType = kTypeMultiString;
            for (uint64_t pos = data; pos < end;) {
                const std::string text = Text(pos);
                if (text.empty()) break;
                if (pos != data) value.Data += ';';
                value.Data += FSetup.MacroizePath(text, false, false);
                pos += text.size() + 1;
            }
            break;
        case ValueType::None:
            break;
        }
    }

    void RegValueRows() {
        for (uint32_t id = 1; id <= Table(RegValues).Count(); ++id) {
            const int64_t at = Table(RegValues).Find(static_cast<uint16_t>(id));
            if (at < 0) continue;
            TCEINFRegValue value;
            value.Id = static_cast<uint16_t>(id);
            value.Root = -1;
            const int64_t key = Table(RegKeys).Find(FBytes.U16(at + 2));
            if (key >= 0) {
                const auto& [root, path] = RegKey(static_cast<uint64_t>(key));
                value.Root = root;
                value.KeyPath = path;
            }
            value.Name = Text(at + 12);
            ValueData(static_cast<uint64_t>(at), value);
            FSetup.RegValues.push_back(std::move(value));
        }
    }

    void ShortcutRows() {
        for (uint32_t id = 1; id <= Table(Shortcuts).Count(); ++id) {
            const int64_t at = Table(Shortcuts).Find(static_cast<uint16_t>(id));
            if (at < 0) continue;
            TCEINFShortcut shortcut;
            shortcut.Id = static_cast<uint16_t>(id);
            const uint16_t dirId = FBytes.U16(at + 2);
            const uint16_t standardFolder = FBytes.U16(at + 4);
            if (standardFolder != 0)
                shortcut.Folder = ExcludeBackslash(TCESetupBase::CEDirMacro(standardFolder));
            else if (dirId == 0)
                shortcut.Folder = ExcludeBackslash(StringText(1, true));
            else
                shortcut.Folder = Folder(dirId, true);
            const int64_t file = Table(Files).Find(FBytes.U16(at + 6));
            if (file >= 0) shortcut.FileName = Text(file + 12);
            shortcut.Name = StripExtension(StringText(FBytes.U16(at + 12), true));
            FSetup.Shortcuts.push_back(std::move(shortcut));
        }
    }

    void Platform() {
        if (FProject.CE4Plus != 1) {
            FProject.PlatformMinVersion.clear();
            FProject.PlatformMaxVersion.clear();
            FProject.PlatformName.clear();
            return;
        }
        const uint64_t at = uint64_t{FBytes.U32(kTableOffsets + 4 * Shortcuts)} +
                            uint64_t{kShortcutSize} * Table(Shortcuts).Count();
        FProject.PlatformMinVersion = Decimal(FBytes.U32(at)) + "." + Decimal(FBytes.U32(at + 4));
        FProject.PlatformMaxVersion =
            Decimal(FBytes.U32(at + 8)) + "." + Decimal(FBytes.U32(at + 12));
        FProject.PlatformName = Text(FBytes.U32(at + 20));
    }

    TCESetupBase& FSetup;
    TCEINFProject& FProject;
    TDescriptorBytes FBytes;
    uint64_t FBudget;
    std::array<std::optional<TDescriptorTable>, TableCount> FTables;
    bool FCacheTexts = false;
    std::array<std::unordered_map<uint16_t, std::string>, 2> FTexts;
    std::array<std::unordered_map<uint16_t, std::string>, 2> FFolders;
    std::unordered_map<uint64_t, std::pair<int32_t, std::string>> FKeys;
};

} // namespace

void DecodeBinaryDescriptor(TCESetupBase& setup, const std::vector<uint8_t>& bytes) {
    TBinaryDecoder(setup, bytes).Run();
}
