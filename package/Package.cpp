#include "package/Package.h"

#include "cab/AsciiCase.h"
#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/Streams.h"
#include "cab/cabfiles.h"
#include "package/AppManagerIni.h"
#include "package/Archive.h"
#include "package/Carve.h"
#include "package/FileWriter.h"
#include "package/HelperProgram.h"
#include "package/Msi.h"
#include "setup/CESetup.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <span>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kCopyBlock = 64 << 10;
// A signed cabinet carries its signature after the size its header declares.
constexpr uint64_t kSignatureRoom = 1 << 20;
constexpr size_t kCabinetHeader = 36;
// What another program may leave in the private folder, in files, before it is stopped.
constexpr size_t kMaxUnpackedFiles = 100'000;

// Installers whose payload is compressed in a format of their own: the marker in the program
// and the name a user knows them by.
const struct {
    const char* Marker;
    const char* Name;
} kInstallerFormats[] = {
    {"Inno Setup Setup Data (", "Inno Setup"},
    {"Nullsoft Install System", "Nullsoft (NSIS)"},
    {"InstallShield", "InstallShield"},
};

bool StartsWith(const std::vector<uint8_t>& head, const char* magic, size_t length) {
    return head.size() >= length && std::memcmp(head.data(), magic, length) == 0;
}

std::string FolderOf(const std::string& pathInside) {
    const size_t slash = pathInside.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : pathInside.substr(0, slash + 1);
}

std::string Mebibytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

// A cabinet that cannot be identified (an invalid stored date, a damaged descriptor) is taken
// for no setup here; the tool's own load says what is wrong with it.
bool IsSetup(const std::string& path) {
    TCESetup setup;
    try {
        return setup.IsSetupCabinet(path);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
}

class TExplorer {
  public:
    TExplorer(TPackage& package, const TPackageBudget& budget)
        : P(package), B(budget), Deadline(Clock::now() + budget.MaxTime) {}

    // Stops the opening with its first reason; always false.
    bool Stop(const std::string& why) {
        if (P.Error.empty()) P.Error = why;
        Stopped = true;
        return false;
    }
    bool Going() {
        if (!Stopped && Clock::now() > Deadline)
            Stop("opening the package took longer than " +
                 std::to_string(B.MaxTime.count() / 1000) + " s; stopped");
        return !Stopped;
    }
    // Counts bytes unpacked; false (and stopped) once past the budget.
    bool Unpacked(uint64_t count) {
        Total += count;
        if (Total > B.MaxUnpacked)
            return Stop("the package unpacks to more than " + Mebibytes(B.MaxUnpacked) +
                        "; stopped");
        return Going();
    }
    // What a cabinet read from memory is called: a name in the private folder, which holds
    // only the files made here.
    [[nodiscard]] std::string MemoryCabinetName() const { return P.Folder.Path() + "/memory.cab"; }
    [[nodiscard]] uint64_t UnpackRoom() const {
        return Total < B.MaxUnpacked ? B.MaxUnpacked - Total : 0;
    }
    // A fresh file name in the private folder, never one taken from the package.
    bool NewFile(TSafeFile& file) {
        const std::string& folder = P.Folder.Path();
        if (folder.empty()) return Stop(P.Folder.Error());
        if (!file.Open(folder, {}, "c" + std::to_string(++Files) + ".cab"))
            return Stop(file.Error());
        return true;
    }

    // A cabinet found in a container: a setup is taken; one that is not, and holds cabinets,
    // gives those instead; one that holds none is taken to be reported as not a setup.
    void AddCabinet(TContainedSetup item, unsigned depth) {
        if (!Going() || !Room()) return;
        if (!item.CabinetPath.empty() && depth < B.MaxDepth && !IsSetup(item.CabinetPath) &&
            OpenNested(item, depth + 1) > 0)
            return;
        P.Setups.push_back(std::move(item));
    }
    // False (and stopped) when the package already holds as many cabinets as may be taken.
    bool Room() {
        if (P.Setups.size() < B.MaxCabinets) return true;
        return Stop("the package holds more than " + std::to_string(B.MaxCabinets) +
                    " cabinets; the rest are left out");
    }
    // The same for a cabinet held in memory: one that holds other cabinets is looked into where
    // it lies, so that its bytes are not written out and read back; one that may be a setup, or
    // holds none, is written to the private folder and taken as above.
    void AddCabinet(TContainedSetup item, const std::vector<uint8_t>& bytes, unsigned depth);

    // The cabinets stored in a cabinet's entries, read from bytes when given; how many were found.
    size_t OpenNested(const TContainedSetup& outer, unsigned depth,
                      std::span<const uint8_t> bytes = {});
    void OpenIni(const std::string& path);
    void OpenZip(const std::string& path);
    void OpenMsi(const std::string& path);
    bool OpenProgram(const std::string& path);
    void OpenWithInnoextract(const std::string& program, const std::string& path);

  private:
    void MatchIni(const std::string& iniPath, const std::string& text,
                  const std::map<std::string, TContainedSetup>& found);

    TPackage& P;
    const TPackageBudget& B;
    Clock::time_point Deadline;
    uint64_t Total = 0;
    unsigned Files = 0;
    bool Stopped = false;
    // A Windows Installer package keys its cabinets' entries by its File table; these are the
    // names they stand for.
    std::map<std::string, std::string> EntryNames;
};

// Streams one entry into the private folder when it begins as a cabinet does; other entries
// are read and dropped. An entry longer than its cabinet header says (plus a signature's room)
// is refused: that is how a bomb disguised as a cabinet shows.
class TCabinetCopy : public TEntrySink {
  public:
    // inMemory: the cabinet is kept in Bytes() instead of a file. writer: the file is written
    // through it.
    TCabinetCopy(TExplorer& explorer, std::string name, bool inMemory = false,
                 TFileWriter* writer = nullptr)
        : E(explorer), FName(std::move(name)), FInMemory(inMemory), FWriter(writer) {}
    [[nodiscard]] bool Write(const void* data, size_t count) override {
        if (!E.Unpacked(count)) return false;
        const auto* bytes = static_cast<const uint8_t*>(data);
        while (count > 0 && FHead.size() < kCabinetHeader) {
            FHead.push_back(*bytes++);
            --count;
            if (FHead.size() == kCabinetHeader && !Begin()) return Failed();
        }
        Length += count;
        if (!FKeeping || count == 0) return true;
        if (Length + kCabinetHeader > FLimit)
            return E.Stop(FName + " is larger than its cabinet header says; stopped");
        if (FInMemory) {
            FBytes.insert(FBytes.end(), bytes, bytes + count);
            return true;
        }
        if (FWriter) return FWriter->Write(FFile, bytes, count) || WriterFailed();
        return FFile.Write(bytes, count) || Failed();
    }
    // An entry that is no cabinet was read only to be passed: the run goes on to the next.
    [[nodiscard]] bool Finish(const TCABFileEntry&) override { return Complete() || !FKeeping; }
    // The file is complete: written into place. False when it was not kept.
    bool Complete() {
        if (!FKeeping || FDone) return FDone;
        if (FInMemory) return FDone = true;
        if (FWriter && !FWriter->Flush()) return WriterFailed();
        FDone = FFile.Commit(nullptr);
        if (!FDone) E.Stop(FFile.Error());
        return FDone;
    }
    [[nodiscard]] bool Kept() const { return FDone; }
    // The entry began as something other than a cabinet: the rest need not be read.
    [[nodiscard]] bool Dropping() const { return FHead.size() >= kCabinetHeader && !FKeeping; }
    [[nodiscard]] std::string Path() const { return FFile.Path(); }
    [[nodiscard]] const std::vector<uint8_t>& Bytes() const { return FBytes; }

  private:
    bool Begin() {
        if (std::memcmp(FHead.data(), "MSCF", 4) != 0) return true;
        const uint32_t declared =
            FHead[8] | FHead[9] << 8 | FHead[10] << 16 | static_cast<uint32_t>(FHead[11]) << 24;
        if (declared < kCabinetHeader) return true; // not a cabinet after all
        FLimit = declared + kSignatureRoom;
        FKeeping = true;
        if (FInMemory) {
            // Room for what the header declares, within what the unpacking budget leaves.
            FBytes.reserve(std::min<uint64_t>(FLimit, E.UnpackRoom() + kCabinetHeader));
            FBytes.assign(FHead.begin(), FHead.end());
            return true;
        }
        if (!E.NewFile(FFile)) return false;
        if (FWriter) return FWriter->Write(FFile, FHead.data(), FHead.size()) || WriterFailed();
        return FFile.Write(FHead.data(), FHead.size());
    }
    bool Failed() {
        if (!FFile.Error().empty()) E.Stop(FFile.Error());
        return false;
    }
    bool WriterFailed() { return E.Stop(FWriter->Error()); }
    TExplorer& E;
    std::string FName;
    std::vector<uint8_t> FHead;
    TSafeFile FFile;
    uint64_t Length = 0;
    uint64_t FLimit = 0;
    bool FKeeping = false;
    bool FDone = false;
    bool FInMemory = false;
    std::vector<uint8_t> FBytes;
    TFileWriter* FWriter = nullptr;
};

// Only a cabinet with an entry named as a setup's descriptor can be a setup; telling one from a
// cabinet of cabinets so needs its listing only.
bool MayBeSetup(const std::string& name, std::span<const uint8_t> bytes) {
    TCABFile cab;
    cab.CABFile = name;
    cab.CABBytes = bytes;
    try {
        cab.ListContents();
    } catch (const EConvertError&) {
        // An entry with an invalid date is listed all the same.
    }
    for (const TCABFileEntry& entry : cab.CABFileContents.Items())
        if (IsBinaryDescriptorName(entry.Name) || IsXmlDescriptorName(entry.Name)) return true;
    return false;
}

void TExplorer::AddCabinet(TContainedSetup item, const std::vector<uint8_t>& bytes,
                           unsigned depth) {
    if (!Going() || !Room()) return;
    const bool maybeSetup = MayBeSetup(MemoryCabinetName(), bytes);
    if (!maybeSetup && depth < B.MaxDepth && OpenNested(item, depth + 1, bytes) > 0) return;
    if (!Going() || !Room()) return;
    TSafeFile file;
    if (!NewFile(file)) return;
    if (!file.Write(bytes.data(), bytes.size()) || !file.Commit(nullptr)) {
        Stop(file.Error());
        return;
    }
    item.CabinetPath = file.Path();
    // A cabinet of no cabinets is taken as it is, to be reported as no setup; one named as a
    // setup is identified as any other.
    if (maybeSetup)
        AddCabinet(std::move(item), depth);
    else
        P.Setups.push_back(std::move(item));
}

size_t TExplorer::OpenNested(const TContainedSetup& outer, unsigned depth,
                             std::span<const uint8_t> bytes) {
    TCABFile cab;
    cab.CABFile = bytes.empty() ? outer.CabinetPath : MemoryCabinetName();
    cab.CABBytes = bytes;
    try {
        cab.ListContents();
    } catch (const EConvertError&) {
        // An entry with an invalid date is listed all the same.
    }
    std::vector<std::unique_ptr<TCabinetCopy>> copies(cab.CABFileContents.Items().size());
    // Declared after the copies, so that its thread has ended before their files go.
    TFileWriter writer;
    const std::string prefix = outer.PathInside.empty() ? "" : outer.PathInside + "/";
    const bool whole =
        cab.ExtractEntries([&](size_t index, const TCABFileEntry& entry) -> TEntrySink* {
            if (Stopped || index >= copies.size()) return nullptr;
            copies[index] =
                std::make_unique<TCabinetCopy>(*this, prefix + entry.Name, false, &writer);
            return copies[index].get();
        });
    size_t found = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        if (!copies[i] || !copies[i]->Kept()) continue;
        const std::string& key = cab.CABFileContents.Items()[i].Name;
        const auto named = EntryNames.find(key);
        TContainedSetup inner;
        inner.Kind = outer.Kind == TContainerKind::None ? TContainerKind::Cabinet : outer.Kind;
        inner.PathInside = prefix + (named == EntryNames.end() ? key : named->second);
        inner.Component = outer.Component;
        inner.CabinetPath = copies[i]->Path();
        ++found;
        AddCabinet(std::move(inner), depth);
    }
    // A cabinet of cabinets cut or damaged part way: those before the damage are given, and
    // the package says that more may have followed. A stop has said its own reason.
    if (!whole && !Stopped && found > 0 && P.Error.empty())
        P.Error = (outer.PathInside.empty() ? "" : outer.PathInside + ": ") +
                  "the cabinet could not be read to its end; the cabinets in it after the damage "
                  "are left out";
    return found;
}

// The .ini's components in order, each cabinet matched ignoring case among found (keyed by the
// folded path inside); what the .ini names and found lacks is listed with its problem.
void TExplorer::MatchIni(const std::string& iniPath, const std::string& text,
                         const std::map<std::string, TContainedSetup>& found) {
    const TAppManagerIni ini = ParseAppManagerIni(text);
    if (!ini.Valid) {
        Stop(iniPath + ": " + ini.Error);
        return;
    }
    const std::string folder = FolderOf(iniPath);
    for (const TAppManagerComponent& component : ini.Components)
        for (const std::string& name : component.CabFiles) {
            const auto it = found.find(UpperCaseAscii(folder + name));
            TContainedSetup item;
            if (it != found.end()) item = it->second;
            item.Kind = P.Kind;
            item.PathInside = it != found.end() ? it->second.PathInside : folder + name;
            item.Component = component.Name;
            if (it == found.end() || item.CabinetPath.empty())
                item.Problem = "no cabinet " + name + " beside " + FileNamePart(iniPath);
            if (item.Problem.empty())
                AddCabinet(std::move(item), 1);
            else
                P.Setups.push_back(std::move(item));
        }
}

void TExplorer::OpenIni(const std::string& path) {
    P.Kind = TContainerKind::AppManagerIni;
    TFileStream stream(path);
    if (stream.Size() > static_cast<int64_t>(kMaxIniSize)) {
        Stop("the .ini is larger than " + std::to_string(kMaxIniSize >> 10) + " KiB");
        return;
    }
    const std::vector<uint8_t> bytes = ReadWholeStream(stream);
    // The cabinets beside it, by folded name: the desktop that shipped them ignored case.
    std::map<std::string, TContainedSetup> beside;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (auto it = std::filesystem::directory_iterator(folder.empty() ? "." : folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        TContainedSetup item;
        item.PathInside = it->path().filename().string();
        item.CabinetPath = it->path().string();
        beside.emplace(UpperCaseAscii(item.PathInside), std::move(item));
    }
    MatchIni(FileNamePart(path), std::string(bytes.begin(), bytes.end()), beside);
}

void TExplorer::OpenZip(const std::string& path) {
    P.Kind = TContainerKind::Zip;
    std::map<std::string, TContainedSetup> cabinets; // by folded path inside
    std::vector<std::string> order;
    std::vector<std::pair<std::string, std::string>> inis; // path inside, text
    std::string error;
    const bool read = WalkZipArchive(
        path,
        [&](const std::string& name, const TArchiveRead& readEntry) {
            std::vector<uint8_t> buffer(kCopyBlock);
            const bool ini = name.size() > 4 && SameTextAscii(name.substr(name.size() - 4), ".ini");
            TCabinetCopy copy(*this, name);
            std::string text;
            for (;;) {
                const int64_t n = readEntry(buffer.data(), buffer.size());
                if (n <= 0) break;
                if (ini && text.size() <= kMaxIniSize)
                    text.append(buffer.begin(), buffer.begin() + n);
                if (!copy.Write(buffer.data(), static_cast<size_t>(n))) break;
                if (!ini && copy.Dropping()) break;
            }
            if (Stopped) return false;
            if (ini && LooksLikeAppManagerIni(text)) inis.emplace_back(name, std::move(text));
            if (copy.Complete()) {
                TContainedSetup item;
                item.Kind = TContainerKind::Zip;
                item.PathInside = name;
                item.CabinetPath = copy.Path();
                order.push_back(UpperCaseAscii(name));
                cabinets.emplace(order.back(), std::move(item));
            }
            return Going();
        },
        error);
    if (!read) Stop(FileNamePart(path) + ": " + error);
    // The .ini's components first, then the cabinets no .ini names.
    std::map<std::string, bool> named;
    for (const auto& [iniPath, text] : inis) {
        const size_t before = P.Setups.size();
        MatchIni(iniPath, text, cabinets);
        for (size_t i = before; i < P.Setups.size(); ++i)
            named[UpperCaseAscii(P.Setups[i].PathInside)] = true;
    }
    for (const std::string& key : order)
        if (!named.count(key)) AddCabinet(cabinets.at(key), 1);
}

void TExplorer::OpenMsi(const std::string& path) {
    P.Kind = TContainerKind::Msi;
    std::string error;
    const bool read = WalkMsiPackage(
        path,
        [&](const std::string& name, const TArchiveRead& readStream) {
            std::vector<uint8_t> buffer(kCopyBlock);
            TCabinetCopy copy(*this, name, true);
            for (;;) {
                const int64_t n = readStream(buffer.data(), buffer.size());
                if (n <= 0 || !copy.Write(buffer.data(), static_cast<size_t>(n)) || copy.Dropping())
                    break;
            }
            if (Stopped) return false;
            if (copy.Complete()) {
                TContainedSetup item;
                item.Kind = TContainerKind::Msi;
                item.PathInside = name;
                AddCabinet(std::move(item), copy.Bytes(), 1);
            }
            return Going();
        },
        EntryNames, error);
    if (!read) Stop(FileNamePart(path) + ": " + error);
}

bool TExplorer::OpenProgram(const std::string& path) {
    P.Kind = TContainerKind::Program;
    TFileStream stream(path);
    const TCarveResult carved =
        FindStoredCabinets(stream, B.MaxCabinets + 1, Deadline); // one more tells there were more
    if (!carved.Error.empty()) return Stop(FileNamePart(path) + ": " + carved.Error);
    if (carved.TimedOut) Going();
    std::vector<uint8_t> buffer(kCopyBlock);
    for (const TCarvedCabinet& c : carved.Cabinets) {
        TSafeFile file;
        if (!Unpacked(static_cast<uint64_t>(c.Size)) || !NewFile(file)) break;
        stream.SetPosition(c.Offset);
        bool copied = true;
        for (int64_t left = c.Size; left > 0 && copied;) {
            const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
            copied = stream.Read(buffer.data(), n) == n && file.Write(buffer.data(), n);
            left -= n;
        }
        if (!copied || !file.Commit(nullptr))
            return Stop(file.Error().empty() ? "the file could not be read" : file.Error());
        TContainedSetup item;
        item.Kind = TContainerKind::Program;
        item.PathInside = "cabinet at offset " + std::to_string(c.Offset);
        item.Offset = c.Offset;
        item.CabinetPath = file.Path();
        AddCabinet(std::move(item), 1);
    }
    return !carved.Cabinets.empty();
}

// Bytes and files below folder, counted until either passes its limit.
struct TFolderUse {
    uint64_t Bytes = 0;
    size_t Files = 0;
};
TFolderUse FolderUse(const std::filesystem::path& folder) {
    TFolderUse use;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator() &&
         use.Files <= kMaxUnpackedFiles;
         it.increment(ec)) {
        std::error_code sizeError;
        if (!it->is_regular_file(sizeError)) continue;
        ++use.Files;
        const uintmax_t size = it->file_size(sizeError);
        if (!sizeError) use.Bytes += size;
    }
    return use;
}

// The line of what a helper program said that tells what went wrong, shortened.
std::string ProblemLine(const std::string& messages) {
    std::string first;
    for (size_t start = 0; start < messages.size();) {
        size_t end = messages.find('\n', start);
        if (end == std::string::npos) end = messages.size();
        std::string line = messages.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        start = end + 1;
        if (line.empty()) continue;
        if (first.empty()) first = line;
        if (line.rfind("Warning", 0) != 0) {
            first = line;
            break;
        }
    }
    return first.size() > 200 ? first.substr(0, 200) + "..." : first;
}

// Debian's innoextract, when it is installed, unpacks an Inno Setup installer into the private
// folder within the package's budget of time, bytes and files; the cabinets among what it wrote
// are then taken as any package's.
void TExplorer::OpenWithInnoextract(const std::string& program, const std::string& path) {
    const std::string& folder = P.Folder.Path();
    if (folder.empty()) {
        Stop(P.Folder.Error());
        return;
    }
    std::error_code ec;
    const std::filesystem::path out = std::filesystem::path(folder) / "unpacked";
    std::filesystem::create_directory(out, ec);
    // Absolute, so that no name is ever read as one of its options.
    const std::filesystem::path input = std::filesystem::absolute(path, ec);
    if (ec) {
        Stop(FileNamePart(path) + ": " + ec.message());
        return;
    }
    TFolderUse use;
    const THelperRun run = RunHelperProgram({program, "--silent", "--color=0", "--progress=0",
                                             "--output-dir", out.string(), input.string()},
                                            Deadline, [&] {
                                                use = FolderUse(out);
                                                return use.Files <= kMaxUnpackedFiles &&
                                                       Total + use.Bytes <= B.MaxUnpacked;
                                            });
    if (!run.Started) {
        Stop("innoextract could not be started: " + run.Error);
        return;
    }
    use = FolderUse(out);
    if (use.Files > kMaxUnpackedFiles) {
        Stop("the package unpacks to more than " + std::to_string(kMaxUnpackedFiles) +
             " files; stopped");
        return;
    }
    if (!Unpacked(use.Bytes) || !Going()) return;
    if (run.Stopped) {
        Stop("innoextract was stopped");
        return;
    }
    if (run.ExitCode != 0) {
        Stop("an Inno Setup installer that innoextract could not unpack: " +
             (run.Messages.empty() ? "exit code " + std::to_string(run.ExitCode)
                                   : ProblemLine(run.Messages)));
        return;
    }
    // What it wrote, in name order; only files that begin as cabinets are looked at further.
    std::vector<std::filesystem::path> files;
    for (auto it = std::filesystem::recursive_directory_iterator(out, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !it->is_symlink(typeError))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    size_t found = 0;
    for (const std::filesystem::path& file : files) {
        TFileStream stream(file.string());
        uint8_t magic[4] = {};
        if (stream.Read(magic, 4) != 4 || std::memcmp(magic, "MSCF", 4) != 0) continue;
        TContainedSetup item;
        item.Kind = TContainerKind::Installer;
        item.PathInside = file.lexically_relative(out).generic_string();
        item.CabinetPath = file.string();
        ++found;
        AddCabinet(std::move(item), 1);
    }
    if (found == 0) Stop("an Inno Setup installer: innoextract found no cabinets in it");
}

// The installer format whose marker the program holds, or null.
const char* InstallerFormat(const std::string& path) {
    TFileStream stream(path);
    std::vector<uint8_t> chunk(4 << 20);
    constexpr size_t kOverlap = 64;
    for (int64_t base = 0; base < stream.Size();) {
        stream.SetPosition(base);
        const int64_t n = stream.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
        if (n <= 0) break;
        const std::string_view text(reinterpret_cast<const char*>(chunk.data()),
                                    static_cast<size_t>(n));
        for (const auto& format : kInstallerFormats)
            if (text.find(format.Marker) != std::string_view::npos) return format.Name;
        if (static_cast<size_t>(n) < chunk.size()) break;
        base += n - static_cast<int64_t>(kOverlap);
    }
    return nullptr;
}

void Open(TExplorer& explorer, TPackage& package, const std::string& path) {
    TFileStream stream(path);
    std::vector<uint8_t> head(std::min<int64_t>(stream.Size(), 4096));
    head.resize(static_cast<size_t>(std::max<int64_t>(0, stream.Read(head.data(), head.size()))));
    if (StartsWith(head, "MSCF", 4)) {
        TContainedSetup self;
        self.CabinetPath = path;
        package.Kind = IsSetup(path) || explorer.OpenNested(self, 1) == 0 ? TContainerKind::None
                                                                          : TContainerKind::Cabinet;
    } else if (StartsWith(head, "PK\x03\x04", 4) || StartsWith(head, "PK\x05\x06", 4)) {
        explorer.OpenZip(path);
    } else if (StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        explorer.OpenMsi(path); // the compound file of a Windows Installer package
    } else if (StartsWith(head, "MZ", 2)) {
        if (explorer.OpenProgram(path) || !package.Error.empty()) return;
        if (const char* format = InstallerFormat(path)) {
            package.Kind = TContainerKind::Installer;
            const bool inno = std::strcmp(format, "Inno Setup") == 0;
            if (const std::string innoextract = inno ? FindHelperProgram("innoextract") : "";
                !innoextract.empty()) {
                explorer.OpenWithInnoextract(innoextract, path);
                return;
            }
            explorer.Stop(std::string("an ") + format +
                          " installer: its payload is compressed in a format Tessary cannot "
                          "read; " +
                          (inno ? "install innoextract to open it, or extract it" : "extract it") +
                          " with that installer's own tools");
        } else
            package.Kind = {};
    } else if (LooksLikeAppManagerIni(
                   std::string_view(reinterpret_cast<const char*>(head.data()), head.size()))) {
        explorer.OpenIni(path);
    }
}

} // namespace

const char* ContainerKindName(TContainerKind kind) {
    switch (kind) {
    case TContainerKind::None:
        return "none";
    case TContainerKind::AppManagerIni:
        return "ini";
    case TContainerKind::Zip:
        return "zip";
    case TContainerKind::Msi:
        return "msi";
    case TContainerKind::Program:
        return "exe";
    case TContainerKind::Cabinet:
        return "cab";
    case TContainerKind::Installer:
        return "installer";
    }
    return "none";
}

std::unique_ptr<TPackage> OpenPackage(const std::string& path, const TPackageBudget& budget) {
    auto package = std::make_unique<TPackage>();
    if (!RegularFileProblem(path).empty()) return package;
    TExplorer explorer(*package, budget);
    try {
        Open(explorer, *package, path);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        explorer.Stop(e.what());
    }
    return package;
}
