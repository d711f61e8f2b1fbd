#pragma once
// The handler of the "_setup.xml" descriptor: parses it with the markup parser and walks the flat
// list of tags into the model. Malformed markup is never reported; what cannot be recognised is
// skipped or kept aside as text in MarkupBefore and MarkupAfter.
#include "setup/CECAB.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TXMLParser;
class TXMLTag;

class TSetupXML : public TCESetupBase {
  public:
    TSetupXML();
    ~TSetupXML() override;

    std::unique_ptr<TXMLParser> Parser; // setup mode (ProbeMode 1)
    std::string RootTagName;
    std::string MarkupBefore;
    std::string MarkupAfter;

    // Always true when it returns; load and conversion errors pass on as exceptions.
    [[nodiscard]] bool ParseDescriptor(const std::string& fileName, TStream* stream) override;
    // The first entry whose file-name part, upper-cased, is "_SETUP.XML".
    [[nodiscard]] bool FindDescriptor(TCABFile& cabinet, TStream& stream) override;
    [[nodiscard]] bool LoadDescriptor() override;
    void WriteDescriptor(TStream& stream) override;
    [[nodiscard]] std::string GetDescriptorEntryName() override; // "_setup.xml"
    // The whole name, upper-cased, is "_SETUP.XML".
    [[nodiscard]] bool IsDescriptorEntry(const std::string& entryName) override;

    // The section routines start at the item after their opening "characteristic" and answer the
    // position where their caller goes on: after the first "/characteristic" met at their level,
    // or p + 1 when the items run out first.
    size_t ReadInstallSection(size_t p);
    size_t ReadFileOperationSection(size_t p);
    size_t ReadDirectory(size_t p, const std::string& directory);
    size_t ReadDirectoryEntry(size_t p, const std::string& directory, const std::string& entryName);
    size_t ReadExtract(size_t p, const std::string& folder, const std::string& name);
    size_t ReadShortcut(size_t p, const std::string& folder, const std::string& name);
    size_t ReadRegistrySection(size_t p);
    size_t ReadRegistryKey(size_t p, const std::string& key);
    // Re-serialises the tag at i and, when it is open, its content up to its "/characteristic";
    // answers the position after what it took.
    size_t CollectMarkup(size_t i, std::string& target, const std::string& indent);
    // Value of the first attribute whose lower-cased name equals key; empty when there is none.
    [[nodiscard]] static std::string TagAttribute(const TXMLTag& tag, std::string_view key);

    // Indentation of collected markup stops growing at this depth, so that absurdly deep nesting
    // keeps the collected text linear in the document's size.
    static constexpr int kMaxMarkupIndentDepth = 16;
    // Collected markup is put into macro form in pieces of about this size, cut after a CR.
    static constexpr size_t kMarkupPieceSize = 64 * 1024;

  private:
    template <class OnTag> size_t WalkSection(size_t p, OnTag onTag);
    [[nodiscard]] const TXMLTag* TagAt(size_t i) const;
    [[nodiscard]] bool Spend(size_t i);
    [[nodiscard]] std::string MacroizeMarkup(const std::string& markup) const;
    [[nodiscard]] const std::string& FolderForm(const std::string& path, bool shortcutFolder,
                                                int pass);

    // Work left for this parse. Sections without closing tags make their callers walk the same
    // items again; this bounds the total so hostile documents stay linear.
    int64_t FWorkLeft = 0;
    struct TFolderCacheSlot {
        bool Valid = false;
        std::string Path, InstallDir, ProgramGroup, Result;
    };
    TFolderCacheSlot FFolderCache[4];
};
