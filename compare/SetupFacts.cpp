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
#include <exception>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

const char kNotSetup[] = "Invalid Windows CE Setup file, Tessary cannot read this file.";

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

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
};

// Hashes an entry's bytes as they come and keeps them only while they may be a program.
class THashingSink : public TEntrySink {
  public:
    // also: a sink that gets the same bytes (the provisioning document, should a file row name
    // its entry), or null.
    THashingSink(TEntryFacts& out, const TCancelled& cancelled, TMemorySink* also)
        : FOut(out), FCancelled(cancelled), FAlso(also),
          FDigest(crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256)) {}
    bool Write(const void* data, size_t count) override {
        if (FCancelled && FCancelled()) return false;
        const auto* p = static_cast<const uint8_t*>(data);
        FDigest->Update({p, count});
        if (FAlso && !FAlso->Write(data, count)) return false;
        if (FMaybeImage) {
            if (count > static_cast<size_t>(kProgramReadCap) - FBytes.size()) {
                FMaybeImage = false;
            } else {
                FBytes.insert(FBytes.end(), p, p + count);
                FMaybeImage = FBytes.size() < 2 || (FBytes[0] == 'M' && FBytes[1] == 'Z');
            }
            if (!FMaybeImage) std::vector<uint8_t>().swap(FBytes);
        }
        return true;
    }
    bool Finish(const TCABFileEntry& entry) override {
        FOut.Sha256 = Hex(FDigest->Final());
        if (FMaybeImage && FBytes.size() >= 2) {
            const TPEImage image = ReadPEImage(FBytes);
            if (image.IsImage) {
                FOut.Cpu = MachineName(image.Machine);
                if (image.Version.Present) FOut.Version = image.Version.FileVersion;
            }
        }
        FOut.Done = true;
        return !FAlso || FAlso->Finish(entry);
    }

  private:
    TEntryFacts& FOut;
    const TCancelled& FCancelled;
    TMemorySink* FAlso;
    std::unique_ptr<crypto::TDigest> FDigest;
    std::vector<uint8_t> FBytes;
    bool FMaybeImage = true;
};

// The cabinet's provisioning document: the first entry whose name part is "_setup.xml", as the
// setup reader takes it.
size_t ProvisioningEntry(const std::vector<TCABFileEntry>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t cut = items[i].Name.find_last_of("\\:");
        const std::string_view part = std::string_view(items[i].Name).substr(cut + 1);
        if (SameTextAscii(part, "_SETUP.XML"))
            return items[i].Size >= 0 && static_cast<uint32_t>(items[i].Size) <= kMaxDescriptorSize
                       ? i
                       : kNone;
    }
    return kNone;
}

// Every file row with its entry's facts, and the provisioning document's bytes into xml; the
// entries are read in one run in cabinet order, each once however many rows name it. Answers
// the first entry that was not read, or empty.
std::string ReadBodies(TCESetup& setup, TCABFile& cabinet, const TCancelled& cancelled,
                       std::vector<TFileFacts>& files, TMemorySink& xml) {
    const TCABFileContents& listing = cabinet.CABFileContents;
    const auto& items = listing.Items();
    const auto entries = setup.FindCabEntries(listing);
    std::unordered_map<std::string_view, size_t> indexOfName;
    indexOfName.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        indexOfName.emplace(items[i].Name, i);

    std::vector<size_t> entryOfRow(setup.Files.size(), kNone);
    std::vector<bool> wanted(items.size(), false);
    files.resize(setup.Files.size());
    for (size_t i = 0; i < setup.Files.size(); ++i) {
        TCECAB_File f;
        setup.GetFile(static_cast<int>(i), f);
        files[i].Name = std::move(f.Name);
        files[i].Folder = IncludeBackslash(f.Dir);
        if (!entries[i]) continue;
        const auto named = indexOfName.find(entries[i]->Name);
        if (named == indexOfName.end()) continue;
        entryOfRow[i] = named->second;
        wanted[named->second] = true;
        files[i].Size = entries[i]->Size;
    }
    const size_t xmlIndex = ProvisioningEntry(items);
    std::vector<TEntryFacts> read(items.size());
    std::unique_ptr<THashingSink> sink;
    const TOpenEntrySink open = [&](size_t index, const TCABFileEntry&) -> TEntrySink* {
        const bool isXml = index == xmlIndex && !xml.Finished();
        if (index >= wanted.size() || !wanted[index] || read[index].Done)
            return isXml ? &xml : nullptr;
        sink = std::make_unique<THashingSink>(read[index], cancelled, isXml ? &xml : nullptr);
        return sink.get();
    };
    if (xmlIndex != kNone || std::find(wanted.begin(), wanted.end(), true) != wanted.end())
        (void)cabinet.ExtractEntries(open);
    sink.reset();
    for (size_t i = 0; i < files.size(); ++i) {
        if (entryOfRow[i] == kNone) continue;
        const TEntryFacts& facts = read[entryOfRow[i]];
        if (!facts.Done) return items[entryOfRow[i]].Name;
        files[i].Sha256 = facts.Sha256;
        files[i].Version = facts.Version;
        files[i].Cpu = facts.Cpu;
    }
    if (xmlIndex != kNone && !xml.Finished()) return items[xmlIndex].Name;
    return {};
}

void ReadSignature(const std::string& path, std::vector<TFact>& out) {
    const TCabinetSignature signature = VerifyCabinetSignature(path);
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
            const auto* s = v ? std::get_if<std::string>(v) : nullptr;
            return s ? *s : std::string();
        };
        // A certificate is one identity: another thumbprint is another certificate.
        TFact fact = Fact({"Certificate"}, {text(subject) + " (" + text(thumbprint) + ")"});
        fact.Key += text(thumbprint);
        out.push_back(std::move(fact));
    }
}

// Each node named by the chain of its ancestors' items and names, so that the same parm under
// two characteristics is two rows.
void ReadProvisioning(const std::vector<uint8_t>& xml, std::vector<TFact>& out) {
    provisioning::TProvisioningTree tree = provisioning::ReadProvisioning(
        std::string_view(reinterpret_cast<const char*>(xml.data()), xml.size()));
    provisioning::DecodeCertificates(tree);
    std::vector<std::string> chain;
    for (const provisioning::TProvisioningRow& row : provisioning::ProvisioningRows(tree)) {
        chain.resize(std::min<size_t>(chain.size(), row.Depth));
        std::string label = row.Item + (row.Name.empty() ? "" : " " + row.Name);
        std::string path;
        for (const std::string& part : chain)
            path += part + "\\";
        path += label;
        chain.push_back(std::move(label));
        out.push_back(Fact({std::move(path)}, {row.Value}));
    }
}

TFactsResult Fail(TFactsStatus status, const std::string& message) {
    return {status, message};
}

TFactsResult Read(const std::string& path, TSetupFacts& facts, const TCancelled& cancelled) {
    facts = TSetupFacts();
    facts.Path = path;
    if (const std::string problem = RegularFileProblem(path); !problem.empty())
        return Fail(TFactsStatus::Failed, "cannot open " + path + ": " + problem);
    TCABFile cabinet;
    TCESetup setup;
    setup.Cabinet = &cabinet;
    const bool loaded = setup.LoadSetup(path, std::string(), false);
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
    TMemorySink xml(kMaxDescriptorSize);
    const std::string unread = ReadBodies(setup, cabinet, cancelled, facts.Files, xml);
    if (cancelled && cancelled()) return Fail(TFactsStatus::Cancelled, path + ": cancelled");
    if (!unread.empty())
        return Fail(TFactsStatus::Failed,
                    path + ": the cabinet is damaged: " + unread + " cannot be read");
    ReadSignature(path, facts.Signature);
    if (xml.Finished()) ReadProvisioning(xml.Data, facts.Provisioning);
    return {TFactsStatus::Read, {}};
}

} // namespace

TFactsResult ReadSetupFacts(const std::string& path, TSetupFacts& facts,
                            const TCancelled& cancelled) {
    try {
        return Read(path, facts, cancelled);
    } catch (const std::bad_alloc&) {
        return Fail(TFactsStatus::Failed, path + ": out of memory");
    } catch (const std::exception& e) {
        return Fail(TFactsStatus::Failed, path + ": " + e.what());
    } catch (...) {
        return Fail(TFactsStatus::Failed, path + ": unknown error");
    }
}
