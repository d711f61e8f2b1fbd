#pragma once
// The setup model: header and six tables that both descriptor readers fill and the window reads,
// with the identification, loading and extraction sequence every handler inherits.
#include "setup/CABData.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TCABFile;
class TCABFileContents;
class TCABFileEntry;
class TEntrySink;
class TStream;

using TOpenEntrySink = std::function<TEntrySink*(size_t index, const TCABFileEntry& entry)>;

// No real descriptor comes near this; a larger one is refused before it is decompressed.
constexpr uint32_t kMaxDescriptorSize = 64u << 20;
[[nodiscard]] std::string DescriptorTooLargeText(const std::string& name, uint64_t size);

// Setup building is not part of the viewer; the object exists so the model keeps its shape.
class TCECabBuilder {
  public:
    int32_t Setting1 = 0;
    int32_t Setting2 = 0;
};

// What became of one extraction, for callers that must tell the user.
enum class TExtractOutcome {
    Extracted, // the entry was written to the destination
    NotFound,  // no cabinet entry belongs to that file and folder; nothing written
    Failed,    // the entry was found but could not be written; nothing left behind; Message
               // says why, naming the file
    Exception  // the listing or the walk raised; Message says why
};

struct [[nodiscard]] TExtractResult {
    TExtractOutcome Outcome = TExtractOutcome::NotFound;
    std::string Message;
};

// The entry names the descriptor walks take, the first of each being the descriptor: a ".000"
// extension for the binary descriptor, a name part "_setup.xml" for the XML one.
[[nodiscard]] bool IsBinaryDescriptorName(const std::string& name);
[[nodiscard]] bool IsXmlDescriptorName(const std::string& name);

// What one command has seen of a cabinet: its listing, taken once, and the bytes of each
// descriptor entry it decompressed. Identifying a setup, loading it and reading its "_setup.xml"
// then list the cabinet once and decompress each descriptor once. Whoever runs the command holds
// it for that command only; the next command looks afresh.
class TCabinetLook {
  public:
    explicit TCabinetLook(const std::string& path);
    ~TCabinetLook();
    TCabinetLook(const TCabinetLook&) = delete;
    TCabinetLook& operator=(const TCabinetLook&) = delete;
    [[nodiscard]] const std::string& Path() const { return FPath; }
    // For a command that reads every body: lists the cabinet and offers each entry to open in the
    // same run, keeping the descriptor entries as the descriptor walks would take them, so a
    // load through this look runs the cabinet library no more. False when the run did not
    // complete; the look is then as new and a load lists afresh.
    [[nodiscard]] bool ListAndRead(const TOpenEntrySink& open);

  private:
    friend class TCESetupBase;
    std::string FPath;
    std::unique_ptr<TCABFile> FCabinet; // lists and extracts; holds the listing
    bool FListed = false;
    std::unordered_map<size_t, std::vector<uint8_t>> FDescriptors; // by index in the listing
    std::unordered_set<size_t> FCut; // descriptors whose extraction did not complete
};

// A file row's flags as the editor shows them: ActiveX and Shared apart from the rest.
struct TCECAB_FileFlags {
    int32_t Flags = 0;
    uint8_t ActiveX = 0;
    uint8_t Shared = 0;
};
[[nodiscard]] TCECAB_FileFlags SplitFileFlags(int32_t flags);

struct TCECAB_File {
    std::string Name;
    std::string Dir;
    int32_t Flags = 0;
    uint8_t ActiveX = 0;
    uint8_t Shared = 0;
};

struct TCECAB_RegEntry {
    uint8_t Root = 0;
    std::string KeyPath;
    std::string Name;
    std::string Data;
    uint8_t DataType = 0;
};

struct TCECAB_Shortcut {
    std::string Name;
    std::string FileName;
    std::string Folder;
};

class TCESetupBase {
  public:
    TCESetupBase();
    virtual ~TCESetupBase();
    TCESetupBase(const TCESetupBase&) = delete;
    TCESetupBase& operator=(const TCESetupBase&) = delete;

    TCABFile* Cabinet = nullptr; // not owned
    std::unique_ptr<TCECabBuilder> CabBuilder;
    int32_t BuildSetting1 = 0;
    int32_t BuildSetting2 = 0;
    std::vector<TCEINFString> Strings;
    std::vector<TCEINFDir> Dirs;
    std::vector<TCEINFRegPath> RegPaths;
    std::vector<TCEINFFile> Files;
    std::vector<TCEINFRegValue> RegValues;
    std::vector<TCEINFShortcut> Shortcuts;
    TCEINFProject Project;
    uint8_t UseCECabFile = 0;
    // Why the last parse stopped part way, and where; empty when it did not.
    std::string DescriptorError;
    // What the running command has seen of the cabinet at its path (not owned); null, or another
    // path: the descriptor walk lists afresh.
    TCabinetLook* Look = nullptr;

    // Decodes from the stream, or from the named file when stream is null. A handler may take
    // the bytes of a memory stream instead of copying them, leaving it empty.
    [[nodiscard]] virtual bool ParseDescriptor(const std::string& fileName, TStream* stream);
    // Finds the descriptor entry of the cabinet and extracts it into the stream.
    [[nodiscard]] virtual bool FindDescriptor(TCABFile& cabinet, TStream& stream);
    // Finds and parses the descriptor of Cabinet.
    [[nodiscard]] virtual bool LoadDescriptor();
    virtual void WriteDescriptor(TStream& stream); // building only
    [[nodiscard]] virtual std::string GetDescriptorEntryName();
    [[nodiscard]] virtual bool IsDescriptorEntry(const std::string& entryName);
    // False only when an exception occurred; a missing entry writes nothing.
    [[nodiscard]] virtual bool ExtractFile(const std::string& fileName, const std::string& folder,
                                           const std::string& destPath);
    // The same walk as ExtractFile, telling what happened.
    [[nodiscard]] virtual TExtractResult ExtractFileChecked(const std::string& fileName,
                                                            const std::string& folder,
                                                            const std::string& destPath);
    // Writes the row's own entry (the first whose number is the row's Id) to destPath.
    [[nodiscard]] TExtractResult ExtractRow(size_t row, const std::string& destPath);
    // For every row of Files, the index in the listing of its own entry: the first entry whose
    // number is the row's Id, leaving out the descriptor, the setup DLL and entries whose
    // number does not convert. -1 for a row without one.
    [[nodiscard]] std::vector<int> RowEntries(const TCABFileContents& listing);
    // The file is a cabinet and this handler finds its descriptor in it.
    [[nodiscard]] virtual bool IsSetupCabinet(const std::string& cabinetPath);
    // The descriptor was found and parsed whole; false for no descriptor, or one damaged or cut
    // (the model then holds what was decoded).
    [[nodiscard]] virtual bool LoadSetup(const std::string& cabinetPath,
                                         const std::string& targetDir, bool extract);
    virtual bool BuildSetupCabinet(); // building only; not used by the viewer

    [[nodiscard]] int FileCount() const { return static_cast<int>(Files.size()); }
    void GetFile(int index, TCECAB_File& file) const;
    // The name GetFile gives the row, without copying the rest of it.
    [[nodiscard]] const std::string& FileName(int index) const;
    [[nodiscard]] int RegValueCount() const { return static_cast<int>(RegValues.size()); }
    void GetRegEntry(int index, TCECAB_RegEntry& entry) const;
    [[nodiscard]] int ShortcutCount() const { return static_cast<int>(Shortcuts.size()); }
    void GetShortcut(int index, TCECAB_Shortcut& shortcut) const;

    void ClearModel();
    // Index of the first row whose Id equals id, or -1.
    template <class Row>
    [[nodiscard]] static int IndexOfId(int32_t id, const std::vector<Row>& table) {
        for (size_t i = 0; i < table.size(); ++i)
            if (static_cast<int32_t>(table[i].Id) == id) return static_cast<int>(i);
        return -1;
    }
    // The number formed by the digits of the name's extension, -1 without digits. Throws
    // EConvertError when the digits do not fit a 32-bit integer.
    [[nodiscard]] static int32_t EntryNumber(const std::string& entryName);
    [[nodiscard]] static std::string WithTrailingBackslash(const std::string& path);

    // Directory macros (DirMacros.cpp).
    [[nodiscard]] static std::string CEDirMacro(int number);
    [[nodiscard]] std::string MacroizePath(const std::string& path, bool shortcutFolder,
                                           bool unquote) const;
    [[nodiscard]] static std::string
    ReplaceText(const std::string& text, const std::string& oldText, const std::string& newText);

  protected:
    // The walk both handlers share: list, then extract the first entry accept takes, and only
    // that entry; with Look on the cabinet's path, both come from it, and Cabinet still ends up
    // holding the listing. Raises ETooLarge for an entry over kMaxDescriptorSize, EOutOfMemory,
    // and EStreamError when stream does not take the bytes. An entry whose extraction stops part
    // way writes what was read and is still found; the load that reads it then fails.
    [[nodiscard]] bool FindDescriptorEntry(TCABFile& cabinet, TStream& stream,
                                           const std::function<bool(const std::string&)>& accept);
    // Writes the entry at that index of Cabinet's listing to destPath through a TSafeFile.
    [[nodiscard]] TExtractResult ExtractRowTo(int entry, const std::string& destPath);
    // Both handlers: FindDescriptor on Cabinet into memory, then ParseDescriptor from it.
    [[nodiscard]] bool LoadDescriptorFromCabinet();

  private:
    // The project's folders as MacroizePath compares them, remade only when the project's texts
    // change: a setup's paths are macroized by the thousand, all against the same two. Kept
    // under a lock, as several threads may build rows of one setup.
    struct TMacroFolders {
        std::string FromInstallDir, FromGroup;
        std::string InstallDir, InstallDirSlash, GroupDir, GroupDirSlash;
        bool Made = false;
    };
    [[nodiscard]] const TMacroFolders& MacroFolders() const;
    mutable std::mutex FMacroFoldersLock;
    mutable TMacroFolders FMacroFolders;
    // Why the last descriptor found was not read whole; empty when it was.
    std::string FDescriptorCut;
};

// Keeps a string list and three strings; created and freed by the facade, never used to load.
class TExternalINF : public TCESetupBase {
  public:
    std::vector<std::string> Lines;
    std::string SourceName;
    std::string TargetName;
    std::string SetupName;
};
