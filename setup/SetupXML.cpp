#include "setup/SetupXML.h"

#include "cab/Errors.h"
#include "cab/Streams.h"
#include "cab/cabfiles.h"
#include "setup/SetupFuncs.h"
#include "xml/XMLPars.h"

#include <algorithm>
#include <new>

namespace {

// The text after the last "\" or ":", the whole text when it has neither.
std::string FileNamePartOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void AppendTag(std::string& target, const TXMLTag& tag) {
    target += '<';
    target += tag.NameView();
    for (const TXMLParam& param : tag.Params) {
        if (param.Name.View() == "/") continue;
        target += ' ';
        target += param.Name.View();
        target += "=\"";
        target += param.Value.View();
        target += '"';
    }
}

// Multi-strings are stored with 0xEF 0x80 0x80 after each string; the model joins them with ";".
std::string JoinMultiString(const std::string& text) {
    std::string joined;
    joined.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) == 0xEF) {
            i += 3;
            if (i < text.size()) joined += ';';
        } else {
            joined += text[i++];
        }
    }
    return joined;
}

int32_t RootOfKey(const std::string& key) {
    const std::string root = UpperCaseAscii(key.substr(0, 4));
    if (root == "HKCR") return kRootClassesRoot;
    if (root == "HKLM") return kRootLocalMachine;
    return kRootCurrentUser;
}

int32_t DataTypeOf(const std::string& datatype) {
    if (SameTextAscii(datatype, "string")) return kTypeString;
    if (SameTextAscii(datatype, "integer")) return kTypeInteger;
    if (SameTextAscii(datatype, "binary")) return kTypeBinary;
    if (SameTextAscii(datatype, "multiplestring")) return kTypeMultiString;
    return kTypeString;
}

} // namespace

TSetupXML::TSetupXML() : Parser(std::make_unique<TXMLParser>()) {
    Parser->ProbeMode = 1;
}

TSetupXML::~TSetupXML() = default;

std::string TSetupXML::TagAttribute(const TXMLTag& tag, std::string_view key) {
    for (const TXMLParam& param : tag.Params)
        if (SameTextAscii(param.Name.View(), key)) return param.Value.GetText();
    return {};
}

const TXMLTag* TSetupXML::TagAt(size_t i) const {
    return Parser->TagAt(i);
}

bool TSetupXML::Spend(size_t i) {
    const TXMLTag* tag = TagAt(i);
    FWorkLeft -= 1 + (tag ? tag->Text.Length : 0);
    return FWorkLeft >= 0;
}

const std::string& TSetupXML::FolderForm(const std::string& path, bool shortcutFolder, int pass) {
    TFolderCacheSlot& slot = FFolderCache[(shortcutFolder ? 2 : 0) + pass];
    if (!slot.Valid || slot.Path != path || slot.InstallDir != Project.InstallDir ||
        slot.ProgramGroup != Project.ProgramGroup) {
        slot.Result = MacroizePath(path, shortcutFolder, true);
        slot.Path = path;
        slot.InstallDir = Project.InstallDir;
        slot.ProgramGroup = Project.ProgramGroup;
        slot.Valid = true;
    }
    return slot.Result;
}

template <class OnTag> size_t TSetupXML::WalkSection(size_t p, OnTag onTag) {
    const size_t count = Parser->Items.size();
    size_t i = p;
    while (i < count) {
        if (!Spend(i)) return count;
        const TXMLTag* tag = TagAt(i);
        if (!tag) {
            ++i;
            continue;
        }
        if (SameTextAscii(tag->NameView(), "/characteristic")) return i + 1;
        i = onTag(*tag, i);
    }
    return FWorkLeft < 0 ? count : p + 1;
}

size_t TSetupXML::ReadInstallSection(size_t p) {
    return WalkSection(p, [this](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "parm")) return i + 1;
        const std::string name = TagAttribute(tag, "name");
        if (SameTextAscii(name, "APPNAME"))
            Project.SoftwareName = MacroizePath(TagAttribute(tag, "value"), false, true);
        else if (SameTextAscii(name, "INSTALLDIR"))
            Project.InstallDir = MacroizePath(TagAttribute(tag, "value"), false, true);
        return i + 1;
    });
}

size_t TSetupXML::ReadFileOperationSection(size_t p) {
    return WalkSection(p, [this](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "characteristic") ||
            !SameTextAscii(TagAttribute(tag, "translation"), "install"))
            return i + 1;
        return ReadDirectory(i + 1, TagAttribute(tag, "type"));
    });
}

size_t TSetupXML::ReadDirectory(size_t p, const std::string& directory) {
    return WalkSection(p, [this, &directory](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "characteristic")) return i + 1;
        if (SameTextAscii(TagAttribute(tag, "type"), "MAKEDIR")) return i + 1;
        if (!SameTextAscii(TagAttribute(tag, "translation"), "install")) return i + 1;
        return ReadDirectoryEntry(i + 1, directory, TagAttribute(tag, "type"));
    });
}

size_t TSetupXML::ReadDirectoryEntry(size_t p, const std::string& directory,
                                     const std::string& entryName) {
    return WalkSection(p, [this, &directory, &entryName](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "characteristic")) return i + 1;
        const std::string type = TagAttribute(tag, "type");
        if (SameTextAscii(type, "EXTRACT")) {
            const std::string folder = FolderForm(directory, false, 0);
            return ReadExtract(i + 1, folder, MacroizePath(entryName, false, true));
        }
        if (SameTextAscii(type, "SHORTCUT")) {
            const std::string folder = FolderForm(directory, true, 0);
            return ReadShortcut(i + 1, folder, MacroizePath(entryName, false, true));
        }
        return i + 1;
    });
}

size_t TSetupXML::ReadExtract(size_t p, const std::string& folder, const std::string& name) {
    return WalkSection(p, [this, &folder, &name](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "parm") ||
            !SameTextAscii(TagAttribute(tag, "name"), "SOURCE"))
            return i + 1;
        TCEINFFile file;
        file.Id = static_cast<uint16_t>(EntryNumber(TagAttribute(tag, "value")));
        file.Dir = FolderForm(folder, false, 1);
        file.FileNo = file.Id;
        file.Flags = 1;
        file.Name = name;
        Files.push_back(std::move(file));
        return i + 1;
    });
}

size_t TSetupXML::ReadShortcut(size_t p, const std::string& folder, const std::string& name) {
    return WalkSection(p, [this, &folder, &name](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "parm") ||
            !SameTextAscii(TagAttribute(tag, "name"), "SOURCE"))
            return i + 1;
        TCEINFShortcut shortcut;
        shortcut.Id = static_cast<uint16_t>(Shortcuts.size());
        shortcut.Folder = FolderForm(folder, true, 1);
        shortcut.FileName = FileNamePartOf(TagAttribute(tag, "value"));
        shortcut.Name = StripExtension(name);
        Shortcuts.push_back(std::move(shortcut));
        return i + 1;
    });
}

size_t TSetupXML::ReadRegistrySection(size_t p) {
    return WalkSection(p, [this](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "characteristic")) return i + 1;
        return ReadRegistryKey(i + 1, MacroizePath(TagAttribute(tag, "type"), false, true));
    });
}

size_t TSetupXML::ReadRegistryKey(size_t p, const std::string& key) {
    const int32_t root = RootOfKey(key);
    // The fifth character, normally the backslash after the root, is dropped unseen.
    const std::string path = key.size() > 5 ? key.substr(5) : std::string();
    return WalkSection(p, [this, root, &path](const TXMLTag& tag, size_t i) {
        if (!SameTextAscii(tag.NameView(), "parm")) return i + 1;
        TCEINFRegValue value;
        value.Id = static_cast<uint16_t>(RegValues.size());
        value.Root = root;
        value.KeyPath = path;
        value.DataType = DataTypeOf(TagAttribute(tag, "datatype"));
        value.Name = MacroizePath(UpperCaseAscii(TagAttribute(tag, "name")), false, true);
        value.Data = MacroizePath(TagAttribute(tag, "value"), false, true);
        if (value.DataType == kTypeMultiString) value.Data = JoinMultiString(value.Data);
        RegValues.push_back(std::move(value));
        return i + 1;
    });
}

// Iterative: the depth of open tags is a counter, so nesting costs no stack. Each open tag met
// is closed by the next "/characteristic", whatever its name.
size_t TSetupXML::CollectMarkup(size_t i, std::string& target, const std::string& indent) {
    const size_t count = Parser->Items.size();
    const auto indentAt = [&indent](size_t depth) {
        const size_t levels = std::min<size_t>(depth, kMaxMarkupIndentDepth);
        return indent + std::string(levels * 4, ' ');
    };
    const auto openTag = [&target](const TXMLTag& tag, const std::string& prefix) {
        if (!target.empty()) target += '\r';
        target += prefix;
        AppendTag(target, tag);
        if (tag.IsOpen == 0) target += " /";
        target += '>';
    };

    const TXMLTag* first = TagAt(i);
    if (!first) return i + 1;
    openTag(*first, indent);
    ++i;
    if (first->IsOpen == 0) return i;

    size_t depth = 1;
    while (i < count && depth > 0) {
        if (!Spend(i)) return count;
        const TXMLTag* tag = TagAt(i);
        ++i;
        if (!tag) continue;
        const std::string_view name = tag->NameView();
        if (SameTextAscii(name, "/characteristic")) {
            --depth;
            target += '\r';
            target += indentAt(depth);
            AppendTag(target, *tag);
            target += '>';
        } else if (SameTextAscii(name, "characteristic") || SameTextAscii(name, "parm")) {
            openTag(*tag, indentAt(depth));
            if (tag->IsOpen != 0) ++depth;
        }
    }
    return i;
}

// MacroizePath(markup, false, false), piece by piece. No pattern of the translation holds a CR
// unless InstallDir or ProgramGroup does, so no match spans a line break; and a piece holds a
// "<" (every collected line does), so it equals none of the whole-text forms unless those hold
// one. Under these conditions the pieces give the same text as one call, in memory that does
// not grow with the markup.
std::string TSetupXML::MacroizeMarkup(const std::string& markup) const {
    // An empty text would equal an empty InstallDir and come back as "%InstallDir%".
    if (markup.empty()) return markup;
    const auto plain = [](const std::string& s) { return s.find_first_of("\r<") == s.npos; };
    if (markup.size() <= kMarkupPieceSize || !plain(Project.InstallDir) ||
        !plain(Project.ProgramGroup))
        return MacroizePath(markup, false, false);
    std::string result;
    result.reserve(markup.size() + markup.size() / 8);
    size_t from = 0;
    while (from < markup.size()) {
        size_t to = markup.find('\r', std::min(markup.size(), from + kMarkupPieceSize));
        to = (to == std::string::npos) ? markup.size() : to + 1;
        // A piece without a backslash or a percent sign holds no folder and no macro, and comes
        // back as it is: a large value (a certificate's Base64) is then not copied twice more.
        const std::string_view piece(markup.data() + from, to - from);
        if (piece.find_first_of("\\%") == std::string_view::npos &&
            piece.find('<') != std::string_view::npos)
            result += piece;
        else
            result += MacroizePath(std::string(piece), false, false);
        from = to;
    }
    return result;
}

bool TSetupXML::ParseDescriptor(const std::string& fileName, TStream* stream) {
    if (auto* memory = dynamic_cast<TMemoryStream*>(stream)) {
        // Taken, not copied: a descriptor of tens of megabytes is then held once while read.
        Parser->Input = TMemoryStream(memory->TakeData());
    } else if (stream) {
        Parser->Input = TMemoryStream(ReadWholeStream(*stream));
    } else {
        TFileStream file(fileName);
        Parser->Input = TMemoryStream(ReadWholeStream(file));
    }
    try {
        Parser->Parse();
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory reading the setup descriptor");
    } catch (const std::length_error&) {
        throw EOutOfMemory("Out of memory reading the setup descriptor");
    }
    // The items point into the parser's own copy; the raw document is not read again.
    Parser->Input = TMemoryStream();

    ClearModel();
    RootTagName.clear();
    MarkupBefore.clear();
    MarkupAfter.clear();
    Project.SoftwareName.clear();
    Project.HeaderAppName.clear();
    Project.CompanyName.clear();
    Project.ProgramGroup.clear();
    Project.UnsupportedDevices.clear();
    Project.InstallDir.clear();
    Project.MinVersion.clear();
    Project.MaxVersion.clear();
    Project.SetupDllPath.clear();
    Project.Processor = -1;

    const size_t count = Parser->Items.size();
    FWorkLeft = 16 * static_cast<int64_t>(Parser->Buffer.size() + count) + 65536;
    bool afterSection = false;
    size_t i = 0;
    while (i < count) {
        if (!Spend(i)) break;
        const TXMLTag* tag = TagAt(i);
        if (!tag) {
            ++i;
            continue;
        }
        const std::string_view name = tag->NameView();
        if (RootTagName.empty()) RootTagName = LowerCaseAscii(std::string(name));
        std::string& markup = afterSection ? MarkupAfter : MarkupBefore;
        if (SameTextAscii(name, "characteristic")) {
            const std::string type = TagAttribute(*tag, "type");
            if (SameTextAscii(type, "INSTALL")) {
                i = ReadInstallSection(i + 1);
            } else if (SameTextAscii(type, "FILEOPERATION")) {
                i = ReadFileOperationSection(i + 1);
                afterSection = true;
            } else if (SameTextAscii(type, "REGISTRY")) {
                i = ReadRegistrySection(i + 1);
                afterSection = true;
            } else {
                i = CollectMarkup(i, markup, std::string());
            }
        } else if (SameTextAscii(name, "parm")) {
            i = CollectMarkup(i, markup, std::string());
        } else if (name.size() == RootTagName.size() + 1 && name[0] == '/' &&
                   SameTextAscii(name.substr(1), RootTagName)) {
            break;
        } else {
            ++i;
        }
    }

    MarkupBefore = MacroizeMarkup(MarkupBefore);
    MarkupAfter = MacroizeMarkup(MarkupAfter);
    return true;
}

bool TSetupXML::FindDescriptor(TCABFile& cabinet, TStream& stream) {
    return FindDescriptorEntry(cabinet, stream, IsXmlDescriptorName);
}

bool TSetupXML::LoadDescriptor() {
    return LoadDescriptorFromCabinet();
}

void TSetupXML::WriteDescriptor(TStream&) {}

std::string TSetupXML::GetDescriptorEntryName() {
    return "_setup.xml";
}

bool TSetupXML::IsDescriptorEntry(const std::string& entryName) {
    return SameTextAscii(entryName, "_SETUP.XML");
}
