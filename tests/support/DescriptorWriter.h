#pragma once
// Writes binary ".000" descriptors ("MSCE" and "CE4+") byte for byte, from a plain description.
// The description carries ids as they go into the bytes, so duplicate ids, missing ids and
// dangling references are written exactly as given; the knobs below cover what plain data cannot.
#include "tests/support/CabinetBuilder.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct DescString {
    uint16_t Id = 0;
    std::string Text;
    std::optional<uint16_t> Length; // written instead of Text.size() + 1
};

struct DescDir {
    uint16_t Id = 0;
    std::vector<uint16_t> StrIds; // the terminating 0 is added by the writer
    std::optional<uint16_t> Length;
};

struct DescFile {
    uint16_t Id = 0;
    uint16_t DirId = 0;
    uint16_t FileNo = 0;
    uint32_t Flags = 0;
    std::string Name;
    std::optional<uint16_t> Length;
};

struct DescRegKey {
    uint16_t Id = 0;
    uint32_t Root =
        3; // counted from 1: 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_USER, 3 HKEY_LOCAL_MACHINE
    std::vector<uint16_t> StrIds;
    std::optional<uint16_t> Length;
};

// Type flags as the writer of setups emits them; 0x00000002 may be or-ed into any of them.
constexpr uint32_t kDescTypeString = 0x00000000;
constexpr uint32_t kDescTypeBinary = 0x00000001;
constexpr uint32_t kDescTypeMultiString = 0x00010000;
constexpr uint32_t kDescTypeNumber = 0x00010001;
constexpr uint32_t kDescTypeNoClobber = 0x00000002;

struct DescRegValue {
    uint16_t Id = 0;
    uint16_t KeyId = 0;
    uint16_t StringMarker = 0; // 1 for a string value
    uint32_t TypeFlags = 0;
    std::string Name;
    std::vector<uint8_t> Data; // written right after the name's NUL
    std::optional<uint16_t> Length;
};

struct DescShortcut {
    uint16_t Id = 0;
    uint16_t DirId = 0;          // 0 stands for the install directory
    uint16_t StandardFolder = 0; // n of %CEn%; wins over DirId when not 0
    uint16_t FileId = 0;
    uint16_t NameStrId = 0; // string holding "<title>.lnk"
};

struct DescriptorPlan {
    bool CE4Plus = false;
    uint32_t Reserved4 = 0; // offset 4; its low half names the install string when there is no list
    std::optional<uint32_t> DescriptorLength; // offset 8; the real size when not given
    uint32_t Processor = 2577;
    uint32_t MinMajor = 3, MinMinor = 0, MaxMajor = 0, MaxMinor = 0;
    uint32_t MinBuild = 0, MaxBuild = 0;
    std::string AppName;
    std::string Provider;
    // Names as written, each followed by NUL, then one more NUL; an empty name in the middle is
    // written as it stands. No value writes list offset 0 (and length 0).
    std::optional<std::vector<std::string>> UnsupportedDevices = std::vector<std::string>{};
    std::optional<uint16_t> UnsupportedDevicesLength; // written instead of the real length

    std::vector<DescString> Strings;
    std::vector<DescDir> Dirs;
    std::vector<DescFile> Files;
    std::vector<DescRegKey> RegKeys;
    std::vector<DescRegValue> RegValues;
    std::vector<DescShortcut> Shortcuts;

    // "CE4+" only: the platform extension after the shortcut table, then the platform name.
    uint32_t PlatformMinMajor = 4, PlatformMinMinor = 0, PlatformMaxMajor = 5, PlatformMaxMinor = 0;
    std::string PlatformName = "PocketPC";

    bool CutBeforePlatformExtension = false; // "CE4+" ending right after its shortcut table
    std::optional<size_t> TruncateAt;        // keep only this many bytes
};

// Where the writer put each part; offsets from the first byte of the magic.
struct DescriptorLayout {
    uint32_t AppName = 0, Provider = 0, DeviceList = 0;
    uint32_t StringTable = 0, DirTable = 0, FileTable = 0, RegKeyTable = 0, RegValueTable = 0,
             ShortcutTable = 0;
    uint32_t PlatformExtension = 0, PlatformNameAt = 0; // 0 for "MSCE"
    size_t Size = 0;                                    // before any truncation
};

[[nodiscard]] std::vector<uint8_t> WriteDescriptorBytes(const DescriptorPlan& plan,
                                                        DescriptorLayout* layout = nullptr);

// Data of registry values in the form the descriptor stores them.
[[nodiscard]] std::vector<uint8_t> RegStringData(const std::string& text);
[[nodiscard]] std::vector<uint8_t> RegNumberData(uint32_t value);
[[nodiscard]] std::vector<uint8_t> RegMultiStringData(const std::vector<std::string>& texts);

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

// Fills a DescriptorPlan the way setup building numbers things: ids 1, 2, 3 ... in table order,
// string 1 the install directory and directory 1 the install directory. Texts are shared: asking
// twice for the same text gives the same string id.
class DescriptorBuilder {
  public:
    DescriptorBuilder(const std::string& appName, const std::string& provider,
                      const std::string& installDir, bool ce4Plus = true);
    [[nodiscard]] DescriptorPlan& Plan() { return FPlan; }
    [[nodiscard]] const DescriptorPlan& Plan() const { return FPlan; }

    uint16_t String(const std::string& text);
    // A device folder such as "%CE1%\Demo\Data"; split at "\" into strings.
    uint16_t Dir(const std::string& path);
    uint16_t File(uint16_t dirId, const std::string& name, uint32_t flags = 0);
    // root: 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_USER, 3 HKEY_LOCAL_MACHINE.
    uint16_t RegKey(uint32_t root, const std::string& path);
    uint16_t RegString(uint16_t keyId, const std::string& name, const std::string& text);
    uint16_t RegNumber(uint16_t keyId, const std::string& name, uint32_t value);
    uint16_t RegBinary(uint16_t keyId, const std::string& name, const std::vector<uint8_t>& data);
    uint16_t RegMultiString(uint16_t keyId, const std::string& name,
                            const std::vector<std::string>& texts);
    // A shortcut "<title>.lnk" in a directory of the table (0: the install directory).
    uint16_t Shortcut(const std::string& title, uint16_t fileId, uint16_t dirId = 0);
    // A shortcut in a standard folder n of %CEn%.
    uint16_t ShortcutInStandardFolder(const std::string& title, uint16_t fileId, uint16_t folder);

  private:
    uint16_t Value(uint16_t keyId, const std::string& name, uint16_t marker, uint32_t flags,
                   std::vector<uint8_t> data);
    DescriptorPlan FPlan;
    std::map<std::string, uint16_t> FStringIds;
};

// A setup cabinet: the descriptor as "<Stem>.000" first, then one entry per file of the plan
// named "<8.3 stem of its name>.<3-digit id>", then the setup DLL as "<Stem>.999" when given.
struct SetupCabinetContents {
    std::map<uint16_t, std::vector<uint8_t>> FileData; // by file id; default: the file's name
    std::optional<std::vector<uint8_t>> SetupDll;
    std::string Stem = "SETUP";
    std::vector<FixtureEntry> Extra; // appended after everything else
};

[[nodiscard]] std::string SetupEntryName(const std::string& fileName, uint16_t id);
[[nodiscard]] std::vector<FixtureEntry> SetupCabinetEntries(const DescriptorPlan& plan,
                                                            const SetupCabinetContents& contents);
[[nodiscard]] std::vector<uint8_t>
BuildSetupCabinet(const DescriptorPlan& plan, const SetupCabinetContents& contents = {},
                  FixtureCompression compression = FixtureCompression::MSZIP);
void WriteSetupCabinet(const std::string& path, const DescriptorPlan& plan,
                       const SetupCabinetContents& contents = {},
                       FixtureCompression compression = FixtureCompression::MSZIP);
