#include "collection/Record.h"

#include "audit/Audit.h"
#include "audit/FindingsPage.h"
#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "compare/SetupFacts.h"
#include "programs/ProgramsPage.h"
#include "provisioning/Rows.h"
#include "report/Page.h"
#include "setup/CECAB.h"
#include "setup/CESetup.h"
#include "signature/Crypto.h"
#include "signature/Signature.h"
#include "signature/Trust.h"

#include <exception>
#include <new>

namespace collection {

namespace {

// The index holds UTF-8, as SQLite expects: the setup's own texts are 8-bit without a code page
// (as the tool's JSON takes them), the others are taken as UTF-8 where they are well-formed.
std::string First(const std::vector<std::string>& texts, size_t i = 0) {
    return i < texts.size() ? Latin1ToUtf8(texts[i]) : std::string();
}

std::string U(const std::string& text) {
    return Utf8Else8(text);
}

std::string Field(const TRow& row, const char* key) {
    const TValue* value = FindField(row.Record, key);
    const std::string* text = value ? TextOf(*value) : nullptr;
    return text ? *text : std::string();
}

// The rows a comparison reads: properties, files with their hashes, shortcuts, registry
// values, the provisioning document's nodes.
void TakeFacts(TSetupFacts& facts, TCabinetRecord& record) {
    for (TFact& f : facts.Properties)
        record.Properties.push_back({First(f.Identity), First(f.Values)});
    for (TFileFacts& f : facts.Files) {
        TFileRecord file;
        file.Folder = Latin1ToUtf8(f.Folder);
        file.Name = Latin1ToUtf8(f.Name);
        file.Size = f.Size;
        file.Sha256 = std::move(f.Sha256);
        file.Version = U(f.Version);
        file.Cpu = std::move(f.Cpu);
        record.Files.push_back(std::move(file));
    }
    for (TFact& f : facts.Shortcuts)
        record.Shortcuts.push_back({First(f.Identity), First(f.Identity, 1), First(f.Identity, 2)});
    for (TFact& f : facts.Registry)
        record.Registry.push_back(
            {First(f.Identity), First(f.Identity, 1), First(f.Values), First(f.Values, 1)});
    for (TFact& f : facts.Provisioning)
        record.Provisioning.push_back({U(f.Identity.at(0)), U(f.Values.at(0))});
}

// What the audit reads: the signature with its certificates, the programs, the provisioning
// document's certificates and the findings, from the load the facts were read from, as
// `--audit` makes it; the bodies that reading hashed are not read again.
void TakeAudit(TSetupLoad& load, TCabinetRecord& record) {
    TCABFile& cab = load.Cabinet;
    TCESetup& setup = load.Setup;
    TCabinetLook& look = load.Look;
    record.Format = setup.Format == kFormatXML ? "xml" : "binary";
    const TCabinetSignature& signature = load.Signature;
    record.Signature = {signature.VerdictWord(), U(signature.SignerName()), U(signature.Summary()),
                        std::string()};
    if (signature.Verdict != TSignatureVerdict::NotSigned) {
        std::string line =
            BuildTrustStatement(signature, provisioning::CabinetTrustContext(cab, &look)).Line;
        if (line.rfind("Trust: ", 0) == 0) line.erase(0, 7);
        record.Signature.Trust = U(line);
    }
    for (const crypto::TCertificate& c : signature.Certificates)
        record.Certificates.push_back(
            {"signature", "", c.Thumbprint, U(c.Subject), U(c.Issuer), c.NotBefore, c.NotAfter});
    provisioning::TProvisioningTree tree;
    const bool hasDocument = provisioning::ReadCabinetProvisioning(cab, tree, &look);
    for (const provisioning::TCertificateInfo& c : tree.Certificates)
        record.Certificates.push_back({"provisioning", U(c.Store.empty() ? c.StoredUnder : c.Store),
                                       c.Thumbprint, U(c.Subject), U(c.Issuer), c.NotBefore,
                                       c.NotAfter});
    const std::vector<TProgramRow> programs =
        AnalysePrograms(setup, cab, cab.CABFileContents, kProgramReadCap, {}, &load.Images);
    for (const TProgramRow& p : programs)
        if (p.FileRow && *p.FileRow < record.Files.size())
            record.Files[*p.FileRow].Entry = Latin1ToUtf8(p.Entry);
    // The Programs page's own cells: the index says what the window and the tool say.
    for (const TRow& row : BuildProgramsPage(programs).Rows)
        record.Programs.push_back({Latin1ToUtf8(row.Cells[1].Text), Latin1ToUtf8(row.Cells[0].Text),
                                   row.Cells[2].Text, row.Cells[3].Text, U(row.Cells[4].Text),
                                   U(row.Cells[5].Text), U(Field(row, "Imports"))});
    const std::vector<TFinding> findings =
        AuditCabinet(setup, cab, &programs, signature, hasDocument ? &tree : nullptr, &look);
    for (const TFinding& f : findings)
        record.Findings.push_back(
            {f.Rule, SeverityText(f.Severity), U(f.Title), U(f.Where), U(f.Why)});
}

// The cabinet's row names it already.
std::string WithoutPath(const std::string& message, const std::string& path) {
    const std::string prefix = path + ": ";
    return U(message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size())
                                                            : message);
}

void Read(TCabinetRecord& record) {
    TSetupFacts facts;
    TSetupLoad load(record.Path);
    TFactsResult result = ReadSetupFacts(record.Path, facts, {}, false, &load);
    result.Message = WithoutPath(result.Message, record.Path);
    if (result.Status == TFactsStatus::NotSetup) {
        record.Status = TCabinetStatus::NotSetup;
        record.Error = result.Message;
        return;
    }
    if (result.Status != TFactsStatus::Read) {
        record.Status = TCabinetStatus::Damaged;
        record.Error = result.Message;
        return;
    }
    TakeFacts(facts, record);
    TakeAudit(load, record);
    record.Status = TCabinetStatus::Read;
}

} // namespace

const char* StatusText(TCabinetStatus status) {
    switch (status) {
    case TCabinetStatus::Read:
        return "read";
    case TCabinetStatus::Damaged:
        return "damaged";
    case TCabinetStatus::NotSetup:
        return "not a setup";
    }
    return "damaged";
}

void ReadCabinetRecord(TCabinetRecord& record) {
    const auto fail = [&](const std::string& message) {
        const std::string path = record.Path;
        const int64_t size = record.Size, mtime = record.MTime;
        std::string sha = std::move(record.Sha256);
        record = TCabinetRecord();
        record.Path = path;
        record.Size = size;
        record.MTime = mtime;
        record.Sha256 = std::move(sha);
        record.Status = TCabinetStatus::Damaged;
        record.Error = U(message);
    };
    try {
        Read(record);
    } catch (const std::bad_alloc&) {
        fail("out of memory");
    } catch (const std::exception& e) {
        fail(e.what());
    } catch (...) {
        fail("unknown error");
    }
}

} // namespace collection
