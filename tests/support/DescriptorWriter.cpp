#include "tests/support/DescriptorWriter.h"

#include <algorithm>
#include <cctype>

namespace {

class ByteWriter {
  public:
    void U8(uint8_t v) { FBytes.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void Text(const std::string& text) {
        FBytes.insert(FBytes.end(), text.begin(), text.end());
        U8(0);
    }
    void Raw(const std::vector<uint8_t>& data) {
        FBytes.insert(FBytes.end(), data.begin(), data.end());
    }
    void IdList(const std::vector<uint16_t>& ids) {
        for (const uint16_t id : ids)
            U16(id);
        U16(0);
    }
    [[nodiscard]] uint32_t Here() const { return static_cast<uint32_t>(FBytes.size()); }
    std::vector<uint8_t>& Bytes() { return FBytes; }

  private:
    std::vector<uint8_t> FBytes;
};

uint16_t Len(const std::optional<uint16_t>& given, size_t actual) {
    return given ? *given : static_cast<uint16_t>(actual);
}

// Components joined with "\\"; a leading "\\" stays on the first one.
std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = path.starts_with('\\') ? path.find('\\', 1) : 0;
    if (start == std::string::npos) return {path};
    if (start > 0) parts.push_back(path.substr(0, start++));
    while (start <= path.size()) {
        const size_t cut = path.find('\\', start);
        const size_t end = cut == std::string::npos ? path.size() : cut;
        if (end > start) parts.push_back(path.substr(start, end - start));
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return parts;
}

} // namespace

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes.at(at) = static_cast<uint8_t>(value);
    bytes.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    PutU16(bytes, at, static_cast<uint16_t>(value));
    PutU16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

std::vector<uint8_t> WriteDescriptorBytes(const DescriptorPlan& plan, DescriptorLayout* layout) {
    DescriptorLayout at;
    ByteWriter w;
    w.Bytes().assign(100, 0);

    at.AppName = w.Here();
    w.Text(plan.AppName);
    at.Provider = w.Here();
    w.Text(plan.Provider);
    size_t listLength = 0;
    if (plan.UnsupportedDevices) {
        at.DeviceList = w.Here();
        for (const std::string& name : *plan.UnsupportedDevices)
            w.Text(name);
        w.U8(0);
        // An empty list is two NUL bytes.
        if (plan.UnsupportedDevices->empty()) w.U8(0);
        listLength = w.Here() - at.DeviceList;
    }

    at.StringTable = w.Here();
    for (const DescString& s : plan.Strings) {
        w.U16(s.Id);
        w.U16(Len(s.Length, s.Text.size() + 1));
        w.Text(s.Text);
    }
    at.DirTable = w.Here();
    for (const DescDir& d : plan.Dirs) {
        w.U16(d.Id);
        w.U16(Len(d.Length, 2 * d.StrIds.size() + 2));
        w.IdList(d.StrIds);
    }
    at.FileTable = w.Here();
    for (const DescFile& f : plan.Files) {
        w.U16(f.Id);
        w.U16(f.DirId);
        w.U16(f.FileNo);
        w.U32(f.Flags);
        w.U16(Len(f.Length, f.Name.size() + 1));
        w.Text(f.Name);
    }
    at.RegKeyTable = w.Here();
    for (const DescRegKey& k : plan.RegKeys) {
        w.U16(k.Id);
        w.U32(k.Root);
        w.U16(Len(k.Length, 2 * k.StrIds.size() + 2));
        w.IdList(k.StrIds);
    }
    at.RegValueTable = w.Here();
    for (const DescRegValue& v : plan.RegValues) {
        w.U16(v.Id);
        w.U16(v.KeyId);
        w.U16(v.StringMarker);
        w.U32(v.TypeFlags);
        w.U16(Len(v.Length, v.Name.size() + 1 + v.Data.size()));
        w.Text(v.Name);
        w.Raw(v.Data);
    }
    at.ShortcutTable = w.Here();
    for (const DescShortcut& s : plan.Shortcuts) {
        w.U16(s.Id);
        w.U16(s.DirId);
        w.U16(s.StandardFolder);
        w.U16(s.FileId);
        w.U16(1);
        w.U16(2);
        w.U16(s.NameStrId);
    }
    if (plan.CE4Plus && !plan.CutBeforePlatformExtension) {
        at.PlatformExtension = w.Here();
        at.PlatformNameAt = at.PlatformExtension + 24;
        w.U32(plan.PlatformMinMajor);
        w.U32(plan.PlatformMinMinor);
        w.U32(plan.PlatformMaxMajor);
        w.U32(plan.PlatformMaxMinor);
        w.U32(static_cast<uint32_t>(plan.PlatformName.size() + 1));
        w.U32(at.PlatformNameAt);
        w.Text(plan.PlatformName);
    }
    at.Size = w.Bytes().size();

    std::vector<uint8_t>& b = w.Bytes();
    const char* magic = plan.CE4Plus ? "CE4+" : "MSCE";
    std::copy(magic, magic + 4, b.begin());
    PutU32(b, 4, plan.Reserved4);
    PutU32(b, 8, plan.DescriptorLength ? *plan.DescriptorLength : static_cast<uint32_t>(at.Size));
    PutU16(b, 16, 1);
    PutU32(b, 20, plan.Processor);
    PutU32(b, 24, plan.MinMajor);
    PutU32(b, 28, plan.MinMinor);
    PutU32(b, 32, plan.MaxMajor);
    PutU32(b, 36, plan.MaxMinor);
    PutU32(b, 40, plan.MinBuild);
    PutU32(b, 44, plan.MaxBuild);
    PutU16(b, 48, static_cast<uint16_t>(plan.Strings.size()));
    PutU16(b, 50, static_cast<uint16_t>(plan.Dirs.size()));
    PutU16(b, 52, static_cast<uint16_t>(plan.Files.size()));
    PutU16(b, 54, static_cast<uint16_t>(plan.RegKeys.size()));
    PutU16(b, 56, static_cast<uint16_t>(plan.RegValues.size()));
    PutU16(b, 58, static_cast<uint16_t>(plan.Shortcuts.size()));
    PutU32(b, 60, at.StringTable);
    PutU32(b, 64, at.DirTable);
    PutU32(b, 68, at.FileTable);
    PutU32(b, 72, at.RegKeyTable);
    PutU32(b, 76, at.RegValueTable);
    PutU32(b, 80, at.ShortcutTable);
    PutU16(b, 84, static_cast<uint16_t>(at.AppName));
    PutU16(b, 86, static_cast<uint16_t>(plan.AppName.size() + 1));
    PutU16(b, 88, static_cast<uint16_t>(at.Provider));
    PutU16(b, 90, static_cast<uint16_t>(plan.Provider.size() + 1));
    PutU16(b, 92, static_cast<uint16_t>(at.DeviceList));
    PutU16(b, 94,
           plan.UnsupportedDevicesLength ? *plan.UnsupportedDevicesLength
                                         : static_cast<uint16_t>(listLength));

    if (plan.TruncateAt && *plan.TruncateAt < b.size()) b.resize(*plan.TruncateAt);
    if (layout) *layout = at;
    return std::move(b);
}

std::vector<uint8_t> RegStringData(const std::string& text) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

std::vector<uint8_t> RegNumberData(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::vector<uint8_t> RegMultiStringData(const std::vector<std::string>& texts) {
    std::vector<uint8_t> data;
    for (const std::string& t : texts) {
        data.insert(data.end(), t.begin(), t.end());
        data.push_back(0);
    }
    data.push_back(0);
    return data;
}

DescriptorBuilder::DescriptorBuilder(const std::string& appName, const std::string& provider,
                                     const std::string& installDir, bool ce4Plus) {
    FPlan.CE4Plus = ce4Plus;
    FPlan.AppName = appName;
    FPlan.Provider = provider;
    const uint16_t install = String(installDir);
    FPlan.Dirs.push_back({1, {install}, {}});
}

uint16_t DescriptorBuilder::String(const std::string& text) {
    const auto found = FStringIds.find(text);
    if (found != FStringIds.end()) return found->second;
    const auto id = static_cast<uint16_t>(FPlan.Strings.size() + 1);
    FPlan.Strings.push_back({id, text, {}});
    FStringIds.emplace(text, id);
    return id;
}

uint16_t DescriptorBuilder::Dir(const std::string& path) {
    if (path == FPlan.Strings.front().Text) return 1;
    std::vector<uint16_t> ids;
    for (const std::string& part : SplitPath(path))
        ids.push_back(String(part));
    for (const DescDir& d : FPlan.Dirs)
        if (d.StrIds == ids) return d.Id;
    const auto id = static_cast<uint16_t>(FPlan.Dirs.size() + 1);
    FPlan.Dirs.push_back({id, ids, {}});
    return id;
}

uint16_t DescriptorBuilder::File(uint16_t dirId, const std::string& name, uint32_t flags) {
    const auto id = static_cast<uint16_t>(FPlan.Files.size() + 1);
    FPlan.Files.push_back({id, dirId, id, flags, name, {}});
    return id;
}

uint16_t DescriptorBuilder::RegKey(uint32_t root, const std::string& path) {
    std::vector<uint16_t> ids;
    for (const std::string& part : SplitPath(path))
        ids.push_back(String(part));
    const auto id = static_cast<uint16_t>(FPlan.RegKeys.size() + 1);
    FPlan.RegKeys.push_back({id, root, ids, {}});
    return id;
}

uint16_t DescriptorBuilder::Value(uint16_t keyId, const std::string& name, uint16_t marker,
                                  uint32_t flags, std::vector<uint8_t> data) {
    const auto id = static_cast<uint16_t>(FPlan.RegValues.size() + 1);
    FPlan.RegValues.push_back({id, keyId, marker, flags, name, std::move(data), {}});
    return id;
}

uint16_t DescriptorBuilder::RegString(uint16_t keyId, const std::string& name,
                                      const std::string& text) {
    return Value(keyId, name, 1, kDescTypeString, RegStringData(text));
}

uint16_t DescriptorBuilder::RegNumber(uint16_t keyId, const std::string& name, uint32_t value) {
    return Value(keyId, name, 0, kDescTypeNumber, RegNumberData(value));
}

uint16_t DescriptorBuilder::RegBinary(uint16_t keyId, const std::string& name,
                                      const std::vector<uint8_t>& data) {
    return Value(keyId, name, 0, kDescTypeBinary, data);
}

uint16_t DescriptorBuilder::RegMultiString(uint16_t keyId, const std::string& name,
                                           const std::vector<std::string>& texts) {
    return Value(keyId, name, 0, kDescTypeMultiString, RegMultiStringData(texts));
}

uint16_t DescriptorBuilder::Shortcut(const std::string& title, uint16_t fileId, uint16_t dirId) {
    const uint16_t nameId = String(title + ".lnk");
    const auto id = static_cast<uint16_t>(FPlan.Shortcuts.size() + 1);
    FPlan.Shortcuts.push_back({id, dirId, 0, fileId, nameId});
    return id;
}

uint16_t DescriptorBuilder::ShortcutInStandardFolder(const std::string& title, uint16_t fileId,
                                                     uint16_t folder) {
    const uint16_t id = Shortcut(title, fileId, 0);
    FPlan.Shortcuts.back().StandardFolder = folder;
    return id;
}

std::string SetupEntryName(const std::string& fileName, uint16_t id) {
    std::string stem = fileName.substr(0, fileName.rfind('.'));
    std::string shortStem;
    for (const char c : stem) {
        if (shortStem.size() == 8) break;
        const auto u = static_cast<unsigned char>(c);
        shortStem += std::isalnum(u) ? static_cast<char>(std::toupper(u)) : '_';
    }
    if (shortStem.empty()) shortStem = "FILE";
    std::string number = std::to_string(id);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return shortStem + "." + number;
}

std::vector<FixtureEntry> SetupCabinetEntries(const DescriptorPlan& plan,
                                              const SetupCabinetContents& contents) {
    std::vector<FixtureEntry> entries;
    entries.push_back({contents.Stem + ".000", WriteDescriptorBytes(plan)});
    for (const DescFile& f : plan.Files) {
        const auto data = contents.FileData.find(f.Id);
        entries.push_back({SetupEntryName(f.Name, f.Id),
                           data != contents.FileData.end() ? data->second : Bytes(f.Name)});
    }
    if (contents.SetupDll) entries.push_back({contents.Stem + ".999", *contents.SetupDll});
    entries.insert(entries.end(), contents.Extra.begin(), contents.Extra.end());
    return entries;
}

std::vector<uint8_t> BuildSetupCabinet(const DescriptorPlan& plan,
                                       const SetupCabinetContents& contents,
                                       FixtureCompression compression) {
    return BuildCabinet(SetupCabinetEntries(plan, contents), compression);
}

void WriteSetupCabinet(const std::string& path, const DescriptorPlan& plan,
                       const SetupCabinetContents& contents, FixtureCompression compression) {
    WriteCabinet(path, SetupCabinetEntries(plan, contents), compression);
}
