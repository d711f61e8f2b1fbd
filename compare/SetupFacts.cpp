#include "compare/SetupFacts.h"

#include "cab/AsciiCase.h"
#include "cab/FileSystem.h"
#include "cab/cabfiles.h"
#include "programs/PEImage.h"
#include "programs/Programs.h"
#include "provisioning/Provisioning.h"
#include "provisioning/Rows.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "signature/Crypto.h"
#include "signature/Signature.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

const char kNotSetup[] = "Invalid Windows CE Setup file, Tessary cannot read this file.";

// The key of a row: its identity texts folded and joined by a byte no text holds.
std::string KeyOf(const std::vector<std::string>& identity) {
    std::string key;
    for (const std::string& text : identity) {
        key += UpperCaseAscii(text);
        key += '\0';
    }
    return key;
}

TFact Fact(std::vector<std::string> identity, std::vector<std::string> values) {
    TFact fact;
    fact.Key = KeyOf(identity);
    fact.Identity = std::move(identity);
    fact.Values = std::move(values);
    return fact;
}

struct TEntryFacts {
    bool Done = false;
    std::string Sha256;
    std::string Version;
    std::string Cpu;
    std::string Kind;
    std::string Company;
    std::string Md5;
    // As a program: false when the body ran past kProgramReadCap.
    bool WithinCap = false;
    std::shared_ptr<const TProgramFacts> Program;
};

// Hashes the bytes of one entry after another as they come, keeping them only while they may be
// a program; one digest serves every entry.
class THashingSink : public TEntrySink {
  public:
    THashingSink(const TCancelled& cancelled, bool md5)
        : FCancelled(cancelled), FDigest(crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256)),
          FMd5(md5 ? crypto::TDigest::Create(crypto::TDigestAlgorithm::MD5) : nullptr) {}
    // also: a sink that gets the same bytes (the provisioning document), or null.
    THashingSink* Start(TEntryFacts& out, TMemorySink* also) {
        FOut = &out;
        FAlso = also;
        FDigest->Restart();
        if (FMd5) FMd5->Restart();
        FBytes.clear();
        FMaybeImage = true;
        FSize = 0;
        return this;
    }
    bool Write(const void* data, size_t count) override {
        if (FCancelled && FCancelled()) return false;
        const auto* p = static_cast<const uint8_t*>(data);
        FSize += count;
        FDigest->Update({p, count});
        if (FMd5) FMd5->Update({p, count});
        if (FAlso && !FAlso->Write(data, count)) return false;
        if (FMaybeImage) {
            // Most bodies are no program: the first bytes tell, before anything is copied.
            const uint8_t* first = FBytes.empty() ? p : FBytes.data();
            const size_t have = FBytes.empty() ? count : FBytes.size();
            if ((have >= 1 && first[0] != 'M') || (have >= 2 && first[1] != 'Z') ||
                count > static_cast<size_t>(kProgramReadCap) - FBytes.size()) {
                FMaybeImage = false;
                FBytes.clear(); // the room stays for the next program
            } else {
                FBytes.insert(FBytes.end(), p, p + count);
            }
        }
        return true;
    }
    bool Finish(const TCABFileEntry& entry) override {
        FOut->Sha256 = LowerHex(FDigest->Final());
        if (FMd5) FOut->Md5 = LowerHex(FMd5->Final());
        FOut->WithinCap = FSize <= static_cast<uint64_t>(kProgramReadCap);
        if (FMaybeImage && FBytes.size() >= 2) {
            TPEImage image = ReadPEImage(FBytes);
            if (image.IsImage) {
                FOut->Cpu = MachineName(image.Machine);
                FOut->Kind = ImageKind(image);
                FOut->Company = image.Version.CompanyName;
                if (image.Version.Present) FOut->Version = image.Version.FileVersion;
            }
            // As the Programs page reads the same bytes.
            if (image.IsImage || !image.Notes.empty())
                FOut->Program = MakeProgramFacts(std::move(image));
        }
        FOut->Done = true;
        return !FAlso || FAlso->Finish(entry);
    }

  private:
    const TCancelled& FCancelled;
    std::unique_ptr<crypto::TDigest> FDigest;
    std::unique_ptr<crypto::TDigest> FMd5;
    TEntryFacts* FOut = nullptr;
    TMemorySink* FAlso = nullptr;
    std::vector<uint8_t> FBytes;
    bool FMaybeImage = true;
    uint64_t FSize = 0;
};

// The provisioning document is the first entry whose name part is "_setup.xml", as the setup
// reader takes it; one too large for a descriptor is not read.
bool IsProvisioningEntry(const TCABFileEntry& entry, bool& seen) {
    if (seen || !IsXmlDescriptorName(entry.Name)) return false;
    seen = true;
    return entry.Size <= kMaxDescriptorSize;
}

// Every entry's facts by listing index, and the provisioning document's bytes.
struct TBodies {
    TBodies(const TCancelled& cancelled, bool md5) : Sink(cancelled, md5) {}
    THashingSink Sink;
    std::vector<TEntryFacts> Entries;
    TMemorySink Xml{kMaxDescriptorSize};
    size_t XmlIndex = kNone;
    void Clear() {
        Entries.clear();
        Xml = TMemorySink(kMaxDescriptorSize);
        XmlIndex = kNone;
    }
};

// For every file row, the listing index of the entry Extract writes for it, or kNone; as the
// files view finds them, a listing it cannot number gives none.
std::vector<size_t> RowEntryIndexes(TCESetup& setup, const TCABFileContents& listing) {
    std::vector<size_t> index(setup.Files.size(), kNone);
    try {
        const std::vector<int> entries = setup.RowEntries(listing);
        for (size_t i = 0; i < index.size() && i < entries.size(); ++i)
            if (entries[i] >= 0) index[i] = static_cast<size_t>(entries[i]);
    } catch (...) {
        index.assign(setup.Files.size(), kNone);
    }
    return index;
}

// The bodies the rows want that no run has read yet, in one run of their own: all of them when
// the listing's run stopped part way, else any it left out.
void ReadWantedBodies(TCABFile& cabinet, const std::vector<size_t>& entryOfRow, TBodies& bodies) {
    const auto& items = cabinet.CABFileContents.Items();
    bodies.Entries.resize(items.size());
    std::vector<bool> wanted(items.size(), false);
    bool any = false;
    for (const size_t index : entryOfRow)
        if (index != kNone && index < items.size() && !bodies.Entries[index].Done)
            any = wanted[index] = true;
    bool xmlSeen = false;
    for (size_t i = 0; i < items.size() && !xmlSeen; ++i)
        if (IsProvisioningEntry(items[i], xmlSeen)) bodies.XmlIndex = i;
    const bool xmlWanted = bodies.XmlIndex != kNone && !bodies.Xml.Finished();
    if (!any && !xmlWanted) return;
    const TOpenEntrySink open = [&](size_t index, const TCABFileEntry&) -> TEntrySink* {
        const bool isXml = index == bodies.XmlIndex && !bodies.Xml.Finished();
        if (index >= wanted.size() || !wanted[index] || bodies.Entries[index].Done)
            return isXml ? &bodies.Xml : nullptr;
        return bodies.Sink.Start(bodies.Entries[index], isXml ? &bodies.Xml : nullptr);
    };
    if (!cabinet.ExtractEntries(open)) {
        // Stopped part way: TakeBodies names the first entry a row wants that was not finished.
    }
}

// Every file row with its entry's facts. Answers the first entry that was not read, or empty.
std::string TakeBodies(TCESetup& setup, const TCABFileContents& listing,
                       const std::vector<size_t>& entryOfRow, TBodies& bodies,
                       std::vector<TFileFacts>& files) {
    const auto& items = listing.Items();
    // An entry's facts move to its last row; rows that share an entry before it get copies.
    std::vector<size_t> lastRow(items.size(), kNone);
    for (size_t i = 0; i < entryOfRow.size(); ++i)
        if (entryOfRow[i] < lastRow.size()) lastRow[entryOfRow[i]] = i;
    files.resize(setup.Files.size());
    for (size_t i = 0; i < setup.Files.size(); ++i) {
        TCECAB_File f;
        setup.GetFile(static_cast<int>(i), f);
        files[i].Name = std::move(f.Name);
        files[i].Folder = IncludeBackslash(f.Dir);
        const size_t index = entryOfRow[i];
        if (index == kNone) continue;
        files[i].Size = static_cast<int64_t>(items[index].Size);
        TEntryFacts* facts = index < bodies.Entries.size() ? &bodies.Entries[index] : nullptr;
        if (!facts || !facts->Done) return items[index].Name;
        if (lastRow[index] == i) {
            files[i].Sha256 = std::move(facts->Sha256);
            files[i].Version = std::move(facts->Version);
            files[i].Cpu = std::move(facts->Cpu);
            files[i].Kind = std::move(facts->Kind);
            files[i].Company = std::move(facts->Company);
            files[i].Md5 = std::move(facts->Md5);
        } else {
            files[i].Sha256 = facts->Sha256;
            files[i].Version = facts->Version;
            files[i].Cpu = facts->Cpu;
            files[i].Kind = facts->Kind;
            files[i].Company = facts->Company;
            files[i].Md5 = facts->Md5;
        }
    }
    if (bodies.XmlIndex != kNone && !bodies.Xml.Finished()) return items[bodies.XmlIndex].Name;
    return {};
}

void ReadSignature(const TCabinetSignature& signature, std::vector<TFact>& out) {
    TPage rows;
    AddSignatureRows(rows, signature);
    for (const TRow& row : rows.Rows)
        out.push_back(Fact({row.Cells[0].Text}, {row.Cells[1].Text}));
    out.push_back(Fact({"Digest Algorithm"}, {signature.DigestAlgorithm}));
    out.push_back(Fact({"Signing Time"}, {signature.SigningTime}));
    const TSignaturePages pages = BuildSignaturePages(signature);
    for (const TRow& row : pages.Certificates.Rows) {
        const TValue* thumbprint = FindField(row.Record, "thumbprint");
        const TValue* subject = FindField(row.Record, "subject");
        const auto text = [](const TValue* v) {
            const auto* s = v ? TextOf(*v) : nullptr;
            return s ? *s : std::string();
        };
        // A certificate is one identity: another thumbprint is another certificate.
        TFact fact = Fact({"Certificate"}, {text(subject) + " (" + text(thumbprint) + ")"});
        fact.Key += text(thumbprint);
        out.push_back(std::move(fact));
    }
}

// A path too long to show whole keeps its first three levels (the document and the two below it,
// which say what the node belongs to) and its last two, each label cut to at most kMaxShownLabel
// bytes: a few hundred bytes, whatever the document.
constexpr size_t kShownFirstLevels = 3;
constexpr size_t kShownLastLevels = 2;
constexpr size_t kMaxShownLabel = 60;

// One level of the chain above a provisioning row.
struct TPathLevel {
    std::string Label;
    // Bytes of the path text down to this level, kMaxProvisioningPathText + 1 when longer.
    size_t Length = 0;
    // SHA-256 of the parent's digest (zeros above the top) and the label folded as KeyOf folds.
    std::array<uint8_t, 32> Digest{};
};

// The label's first bytes, ended at a character so that UTF-8 stays well formed.
std::string ShownLabel(const std::string& label) {
    if (label.size() <= kMaxShownLabel) return label;
    size_t end = kMaxShownLabel - 3;
    while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80)
        --end;
    return label.substr(0, end) + "...";
}

// "first\second\third\... (98997 levels) ...\last but one\last".
std::string ShownPath(const std::vector<TPathLevel>& chain) {
    const size_t levels = chain.size();
    const bool cut = levels > kShownFirstLevels + kShownLastLevels;
    std::string text;
    for (size_t i = 0; i < levels; ++i) {
        if (cut && i == kShownFirstLevels) {
            const size_t left = levels - kShownFirstLevels - kShownLastLevels;
            text += "... (" + std::to_string(left) + (left == 1 ? " level" : " levels") + ") ...\\";
            i = levels - kShownLastLevels;
        }
        text += ShownLabel(chain[i].Label);
        if (i + 1 < levels) text += '\\';
    }
    return text;
}

// The key of a path too long to show: the chain's digest after the level count, which orders
// such rows by depth. Folded keys hold no lower-case letter, so the lower-case start sets these
// apart from every key of a path shown whole.
std::string LongPathKey(const std::vector<TPathLevel>& chain) {
    std::string levels = std::to_string(chain.size());
    levels.insert(0, levels.size() < 10 ? 10 - levels.size() : 0, '0');
    const std::array<uint8_t, 32>& digest = chain.back().Digest;
    return "long path " + levels + " " + LowerHex({digest.begin(), digest.end()});
}

// Each node named by the chain of its ancestors' items and names, so that the same parm under
// two characteristics is two rows. Each level is hashed once as the rows come, so a row costs
// its own label and at most kMaxProvisioningPathText, however deep it lies.
void ReadProvisioning(const std::vector<uint8_t>& xml, std::vector<TFact>& out) {
    provisioning::TProvisioningTree tree = provisioning::ReadProvisioning(
        std::string_view(reinterpret_cast<const char*>(xml.data()), xml.size()));
    provisioning::DecodeCertificates(tree);
    const auto digest = crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256);
    out.reserve(out.size() + provisioning::ProvisioningRowCount(tree));
    std::vector<TPathLevel> chain;
    provisioning::VisitProvisioningRows(tree, [&](const provisioning::TProvisioningRowView& row) {
        chain.resize(std::min<size_t>(chain.size(), row.Depth));
        TPathLevel level;
        level.Label = std::string(row.Item);
        if (!row.Name.empty()) level.Label.append(" ").append(row.Name);
        const TPathLevel* parent = chain.empty() ? nullptr : &chain.back();
        level.Length = std::min(kMaxProvisioningPathText + 1,
                                (parent ? parent->Length + 1 : 0) + level.Label.size());
        digest->Restart();
        digest->Update(parent ? parent->Digest : level.Digest);
        const std::string folded = UpperCaseAscii(level.Label);
        digest->Update({reinterpret_cast<const uint8_t*>(folded.data()), folded.size()});
        const crypto::TBytes sum = digest->Final();
        // Without a digest every long path would be one row, and a change could hide.
        if (sum.size() != level.Digest.size())
            throw std::runtime_error("SHA-256 is not available to name the provisioning rows");
        std::copy(sum.begin(), sum.end(), level.Digest.begin());
        chain.push_back(std::move(level));
        if (chain.back().Length <= kMaxProvisioningPathText) {
            std::string path;
            for (size_t i = 0; i + 1 < chain.size(); ++i)
                path += chain[i].Label + "\\";
            path += chain.back().Label;
            out.push_back(Fact({std::move(path)}, {std::string(row.Value)}));
        } else {
            TFact fact;
            fact.Key = LongPathKey(chain);
            fact.Identity = {ShownPath(chain)};
            fact.Values = {std::string(row.Value)};
            out.push_back(std::move(fact));
        }
    });
}

TFactsResult Fail(TFactsStatus status, const std::string& message) {
    return {status, message};
}

TFactsResult Read(const std::string& path, TSetupFacts& facts, const TCancelled& cancelled,
                  bool md5, TSetupLoad* keep) {
    facts = TSetupFacts();
    facts.Path = path;
    if (const std::string problem = RegularFileProblem(path); !problem.empty())
        return Fail(TFactsStatus::Failed, "cannot open " + path + ": " + problem);
    std::optional<TSetupLoad> own;
    TSetupLoad& load = keep ? *keep : own.emplace(path);
    TCABFile& cabinet = load.Cabinet;
    TCESetup& setup = load.Setup;
    TCabinetLook& look = load.Look;
    // The usual case reads every body in the listing's own run and loads from what it kept;
    // should that run stop part way, the load lists afresh and the bodies it wants are read
    // after, so that a damaged entry no file row names fails nothing.
    TBodies bodies(cancelled, md5);
    bool xmlSeen = false;
    const bool readAll = look.ListAndRead([&](size_t index, const TCABFileEntry& entry) {
        if (index >= bodies.Entries.size()) bodies.Entries.resize(index + 1);
        const bool isXml = IsProvisioningEntry(entry, xmlSeen);
        if (isXml) bodies.XmlIndex = index;
        // The binary descriptor is no file row's; the look keeps its bytes.
        if (!isXml && IsBinaryDescriptorName(entry.Name)) return static_cast<TEntrySink*>(nullptr);
        return static_cast<TEntrySink*>(
            bodies.Sink.Start(bodies.Entries[index], isXml ? &bodies.Xml : nullptr));
    });
    if (cancelled && cancelled()) return Fail(TFactsStatus::Cancelled, path + ": cancelled");
    if (!readAll) bodies.Clear();
    const bool loaded = setup.LoadSetup(path, std::string(), false, look);
    if (setup.Format == kFormatNone) return Fail(TFactsStatus::NotSetup, path + ": " + kNotSetup);
    // Half a descriptor would show as differences that are not there.
    if (!loaded)
        return Fail(TFactsStatus::Failed,
                    path + ": the setup descriptor is damaged" +
                        (setup.DescriptorError.empty() ? "" : ": " + setup.DescriptorError));
    const TCABFileContents& listing = cabinet.CABFileContents;
    for (const TRow& row : BuildPropertiesPage(setup, listing).Rows)
        facts.Properties.push_back(Fact({row.Cells[0].Text}, {row.Cells[1].Text}));
    const TReportOptions unsorted{".", [](const std::vector<std::string>& captions) {
                                      std::vector<size_t> order(captions.size());
                                      for (size_t i = 0; i < order.size(); ++i)
                                          order[i] = i;
                                      return order;
                                  }};
    for (const TRow& row : BuildShortcutsPage(setup, unsorted).Rows)
        facts.Shortcuts.push_back(
            Fact({row.Cells[0].Text, row.Cells[1].Text, row.Cells[2].Text}, {}));
    for (const TRow& row : BuildRegistryPages(setup).Values.Rows)
        facts.Registry.push_back(
            Fact({row.Cells[0].Text, row.Cells[1].Text}, {row.Cells[2].Text, row.Cells[3].Text}));
    const std::vector<size_t> entryOfRow = RowEntryIndexes(setup, listing);
    ReadWantedBodies(cabinet, entryOfRow, bodies);
    if (keep) {
        keep->Images.resize(bodies.Entries.size());
        for (size_t i = 0; i < bodies.Entries.size(); ++i) {
            const TEntryFacts& e = bodies.Entries[i];
            keep->Images[i] = {e.Done, e.Done && e.WithinCap, e.Program};
        }
    }
    const std::string unread = TakeBodies(setup, listing, entryOfRow, bodies, facts.Files);
    if (cancelled && cancelled()) return Fail(TFactsStatus::Cancelled, path + ": cancelled");
    if (!unread.empty())
        return Fail(TFactsStatus::Failed,
                    path + ": the cabinet is damaged: " + unread + " cannot be read");
    load.Signature = VerifyCabinetSignature(path);
    ReadSignature(load.Signature, facts.Signature);
    if (bodies.Xml.Finished()) ReadProvisioning(bodies.Xml.Data, facts.Provisioning);
    return {TFactsStatus::Read, {}};
}

} // namespace

std::string LowerHex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text(bytes.size() * 2, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0xF];
    }
    return text;
}

std::string FileSha256(const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open " + path;
        return {};
    }
    const auto digest = crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256);
    // One buffer per thread: an index hashes thousands of files, and a block allocated afresh
    // for each is memory the allocator returns and the system faults in again every time. A
    // plain array: mingw frees a thread's objects before their destructors run (cab/README.md).
    thread_local std::array<uint8_t, 1 << 16> buffer;
    static_assert(std::is_trivially_destructible_v<decltype(buffer)>);
    while (in) {
        in.read(reinterpret_cast<char*>(buffer.data()),
                static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got > 0) digest->Update({buffer.data(), got});
    }
    if (in.bad()) {
        why = "cannot read " + path;
        return {};
    }
    return LowerHex(digest->Final());
}

TFactsResult ReadSetupFacts(const std::string& path, TSetupFacts& facts,
                            const TCancelled& cancelled, bool md5, TSetupLoad* load) {
    try {
        return Read(path, facts, cancelled, md5, load);
    } catch (const std::bad_alloc&) {
        return Fail(TFactsStatus::Failed, path + ": out of memory");
    } catch (const std::exception& e) {
        return Fail(TFactsStatus::Failed, path + ": " + e.what());
    } catch (...) {
        return Fail(TFactsStatus::Failed, path + ": unknown error");
    }
}

TFactsResult ReadBothSetupFacts(const std::string& older, const std::string& newer,
                                TSetupFacts (&facts)[2], const TCancelled& cancelled,
                                const std::function<void()>& sideRead) {
    // The older side's failure stops the newer one, not the other way round: that failure is
    // the answer whenever there is one, as when the two were read one after the other.
    std::atomic<bool> olderFailed{false};
    const TCancelled stopOlder = [&] { return cancelled && cancelled(); };
    const TCancelled stopNewer = [&] { return olderFailed.load() || (cancelled && cancelled()); };
    TFactsResult results[2];
    const auto read = [&](int side) {
        results[side] = ReadSetupFacts(side == 0 ? older : newer, facts[side],
                                       side == 0 ? stopOlder : stopNewer);
        if (results[side].Status == TFactsStatus::Read) {
            if (sideRead) sideRead();
        } else if (side == 0 && results[side].Status != TFactsStatus::Cancelled) {
            olderFailed.store(true);
        }
    };
    std::thread other;
    try {
        other = std::thread(read, 0);
    } catch (const std::system_error&) {
        read(0); // no thread to be had: one after the other
    }
    read(1);
    if (other.joinable()) other.join();
    for (const TFactsResult& result : results)
        if (result.Status != TFactsStatus::Read && result.Status != TFactsStatus::Cancelled)
            return result;
    for (const TFactsResult& result : results)
        if (result.Status != TFactsStatus::Read) return result;
    return {TFactsStatus::Read, {}};
}
