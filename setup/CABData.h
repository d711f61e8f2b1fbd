#pragma once
// Record types of the setup model's header and tables. Strings are 8-bit, without code page.
#include <cstdint>
#include <string>
#include <vector>

using TCEINFSave = std::vector<uint16_t>; // string ids; setup building only
using TCEINFData = std::vector<uint8_t>;  // encoded registry data; setup building only

struct TCEINFProject {
    uint8_t CE4Plus = 0; // 1 for a "CE4+" binary descriptor
    std::string SoftwareName;
    std::string HeaderAppName;
    std::string CompanyName;
    std::string ProgramGroup;
    std::string UnsupportedDevices;
    std::string InstallDir;
    int32_t Processor = 0;
    std::string MinVersion;
    std::string MaxVersion;
    std::string PlatformName;
    std::string PlatformMinVersion;
    std::string PlatformMaxVersion;
    std::string SetupDllPath; // setup building only
    friend bool operator==(const TCEINFProject&, const TCEINFProject&) = default;
};

struct TCEINFString {
    uint16_t Id = 0;
    std::string Text;
    friend bool operator==(const TCEINFString&, const TCEINFString&) = default;
};

struct TCEINFDir {
    uint16_t Id = 0;
    std::string Path;
    TCEINFSave StrIds;
    friend bool operator==(const TCEINFDir&, const TCEINFDir&) = default;
};

struct TCEINFRegPath {
    uint16_t Id = 0;
    int32_t Root = 0;
    std::string Path;
    TCEINFSave StrIds;
    friend bool operator==(const TCEINFRegPath&, const TCEINFRegPath&) = default;
};

struct TCEINFFile {
    uint16_t Id = 0;
    std::string Dir;
    int32_t FileNo = 0;
    int32_t Flags = 0;
    std::string Name;
    std::string ExtractedPath; // setup building only
    uint16_t DirId = 0;        // setup building only
    friend bool operator==(const TCEINFFile&, const TCEINFFile&) = default;
};

struct TCEINFRegValue {
    uint16_t Id = 0;
    int32_t Root = 0;
    std::string KeyPath;
    int32_t DataType = 0;
    std::string Name;
    std::string Data;
    uint16_t PathId = 0; // setup building only
    friend bool operator==(const TCEINFRegValue&, const TCEINFRegValue&) = default;
};

struct TCEINFShortcut {
    uint16_t Id = 0;
    std::string Folder;
    std::string FileName;
    std::string Name;
    uint16_t NameStrId = 0;   // setup building only
    uint16_t FolderDirId = 0; // setup building only
    friend bool operator==(const TCEINFShortcut&, const TCEINFShortcut&) = default;
};

// Registry roots and value types as the model numbers them.
constexpr int32_t kRootClassesRoot = 0;
constexpr int32_t kRootCurrentUser = 1;
constexpr int32_t kRootLocalMachine = 2;
constexpr int32_t kTypeString = 0;
constexpr int32_t kTypeInteger = 1;
constexpr int32_t kTypeBinary = 2;
constexpr int32_t kTypeMultiString = 3;

constexpr uint32_t kFlagSelfRegister = 0x10000000; // "ActiveX"
constexpr uint32_t kFlagShared = 0x80000000;       // "Shared"
