#include "tools/Json.h"

#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/Records.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "tools/SetupDocument.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_set>

namespace {

// How the texts of a record are written.
enum class TTexts {
    Latin1,    // the model's 8-bit texts
    Utf8Fixed, // certificate texts: UTF-8, a stray byte becoming U+FFFD
    Utf8Else8  // provisioning texts: kept when valid UTF-8, else taken as 8-bit
};

} // namespace

std::string WellFormedUtf8(std::string_view text) {
    if (IsWellFormedUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t length = b < 0x80                 ? 1
                        : b >= 0xC2 && b <= 0xDF ? 2
                        : b >= 0xE0 && b <= 0xEF ? 3
                        : b >= 0xF0 && b <= 0xF4 ? 4
                                                 : 0;
        for (size_t k = 1; k < length; ++k)
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                length = 0;
        // Overlong three-byte forms, surrogates and code points past U+10FFFF.
        if (length >= 3) {
            const auto c = static_cast<unsigned char>(text[i + 1]);
            if ((b == 0xE0 && c < 0xA0) || (b == 0xED && c >= 0xA0) || (b == 0xF0 && c < 0x90) ||
                (b == 0xF4 && c >= 0x90))
                length = 0;
        }
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

namespace {

void WriteText(TJsonWriter& out, std::string_view text, TTexts texts) {
    if (texts == TTexts::Latin1)
        out.Latin1(text);
    else if (texts == TTexts::Utf8Fixed)
        out.String(WellFormedUtf8(text));
    else if (IsWellFormedUtf8(text))
        out.String(text);
    else
        out.Latin1(text);
}

void WriteValue(TJsonWriter& out, const TValue& value, TTexts texts) {
    if (const std::string* text = TextOf(value)) {
        WriteText(out, *text, texts);
    } else if (const auto* number = std::get_if<int64_t>(&value)) {
        out.Int(*number);
    } else if (const auto* flag = std::get_if<bool>(&value)) {
        out.Bool(*flag);
    } else {
        out.Null();
    }
}

// Writes the fields a record's visitor passes as members, texts as the model's 8-bit texts: the
// same members WriteRecord writes of the record the visitor fills.
struct TJsonFields {
    TJsonWriter& Out;
    void operator()(const char* name, int64_t value) const {
        Out.Key(name);
        Out.Int(value);
    }
    void operator()(const char* name, const std::string& value) const {
        Out.Key(name);
        Out.Latin1(value);
    }
    void operator()(const char* name, std::string_view value) const {
        Out.Key(name);
        Out.Latin1(value);
    }
    void operator()(const char* name, std::monostate) const {
        Out.Key(name);
        Out.Null();
    }
};

// A name given twice keeps its first place; certificate records keep the last value there, the
// others the first, as the documents built whole did.
void WriteRecordMembers(TJsonWriter& out, const TRecord& record, TTexts texts) {
    for (size_t i = 0; i < record.size(); ++i) {
        const char* name = record[i].first;
        bool repeated = false;
        for (size_t k = 0; k < i && !repeated; ++k)
            repeated = record[k].first[0] == name[0] && std::strcmp(record[k].first, name) == 0;
        if (repeated) continue;
        size_t chosen = i;
        if (texts == TTexts::Utf8Fixed)
            for (size_t k = i + 1; k < record.size(); ++k)
                if (std::strcmp(record[k].first, name) == 0) chosen = k;
        out.Key(name);
        WriteValue(out, record[chosen].second, texts);
    }
}

void WriteRecord(TJsonWriter& out, const TRecord& record, TTexts texts = TTexts::Latin1) {
    out.BeginObject();
    WriteRecordMembers(out, record, texts);
    out.EndObject();
}

template <class Records> void WriteRecords(TJsonWriter& out, const Records& records) {
    out.BeginArray();
    for (const auto& record : records)
        WriteRecord(out, record);
    out.EndArray();
}

void WriteRows(TJsonWriter& out, const TPage& page, TTexts texts, bool modelOrder) {
    out.BeginArray();
    if (modelOrder) {
        for (const TRow* row : InModelOrder(page))
            WriteRecord(out, row->Record, texts);
    } else {
        for (const TRow& row : page.Rows)
            WriteRecord(out, row.Record, texts);
    }
    out.EndArray();
}

// The first row field of that name on the page.
TValue PageField(const TPage& page, const char* key) {
    for (const TRow& row : page.Rows)
        if (const TValue* value = FindField(row.Record, key)) return *value;
    return {};
}

} // namespace

void WritePageRecords(TJsonWriter& out, const TPage& page) {
    WriteRows(out, page, TTexts::Latin1, true);
}

// The pages beyond the setup's own mix the model's 8-bit texts with UTF-8 ones (certificate
// names, version resources, provisioning values): each text is written as the window shows it.
void WriteMixedText(TJsonWriter& out, std::string_view text) {
    WriteText(out, text, TTexts::Utf8Else8);
}

void WriteMixedPageRecords(TJsonWriter& out, const TPage& page) {
    WriteRows(out, page, TTexts::Utf8Else8, true);
}

void WriteMixedRecordMembers(TJsonWriter& out, const TRecord& record) {
    WriteRecordMembers(out, record, TTexts::Utf8Else8);
}

void WriteSignatureJson(TJsonWriter& out, const TCabinetSignature& signature,
                        const TTrustContext& context) {
    const TSignaturePages pages = BuildSignaturePages(signature, context);
    out.BeginObject();
    WriteRecordMembers(out, pages.Summary, TTexts::Utf8Fixed);
    out.Key("certificates");
    WriteRows(out, pages.Certificates, TTexts::Utf8Fixed, true);
    out.Key("checks");
    WriteRows(out, pages.Checks, TTexts::Utf8Fixed, true);
    out.Key("trust");
    if (pages.Trust.empty())
        out.Null();
    else
        WriteRecord(out, pages.Trust, TTexts::Utf8Fixed);
    out.EndObject();
}

void WriteProvisioningJson(TJsonWriter& out, const TCESetup& setup,
                           const provisioning::TProvisioningTree* document) {
    if (!document) {
        out.Null();
        return;
    }
    const provisioning::TProvisioningTree& tree = *document;
    const provisioning::TProvisioningSummary s = provisioning::Summarize(tree);
    out.BeginObject();
    out.Key("provisioningOnly");
    out.Bool(provisioning::IsProvisioningOnly(setup));
    out.Key("headline");
    out.String(provisioning::ProvisioningHeadline(s));
    out.Key("summary");
    out.BeginObject();
    for (const auto& [name, count] : {std::pair{"securityPolicies", s.SecurityPolicies},
                                      {"certificates", s.Certificates},
                                      {"characteristics", s.Characteristics},
                                      {"parms", s.Parms},
                                      {"queries", s.Queries},
                                      {"removals", s.Removals},
                                      {"notes", s.Notes}}) {
        out.Key(name);
        out.Int(count);
    }
    out.EndObject();
    out.Key("rows");
    // Each row's exact value, then its node's other attributes as an object of their own,
    // written from the tree: no page holds a copy of a value that may be megabytes long.
    out.BeginArray();
    std::unordered_set<std::string_view> named;
    provisioning::VisitProvisioningRows(tree, [&](const provisioning::TProvisioningRowView& row) {
        out.BeginObject();
        out.Key("depth");
        out.Int(row.Depth);
        for (const auto& [name, text] : {std::pair{"item", row.Item},
                                         {"name", row.Name},
                                         {"value", row.Value},
                                         {"meaning", std::string_view(row.Meaning)}}) {
            out.Key(name);
            WriteText(out, text, TTexts::Utf8Else8);
        }
        out.Key("attributes");
        out.BeginObject();
        named.clear();
        for (const provisioning::TAttribute& a : tree.Nodes[row.Node].Attributes) {
            // A name written twice: the first counts, as the reader notes.
            if (!named.insert(a.Name).second) continue;
            out.Key(WellFormedUtf8(a.Name));
            WriteText(out, a.Value, TTexts::Utf8Else8);
        }
        out.EndObject();
        out.EndObject();
    });
    out.EndArray();
    out.Key("certificates");
    out.BeginArray();
    for (const provisioning::TCertificateInfo& certificate : tree.Certificates)
        WriteRecord(out, provisioning::CertificateRow(certificate).Record, TTexts::Utf8Else8);
    out.EndArray();
    out.EndObject();
}

void WriteEntriesJson(TJsonWriter& out, const TCABFileContents& listing) {
    // One record at a time: a listing of many thousand entries is never held twice.
    out.Key("entries");
    out.BeginArray();
    for (const TCABFileEntry& entry : listing.Items()) {
        out.BeginObject();
        VisitEntryRecord(entry, TJsonFields{out});
        out.EndObject();
    }
    out.EndArray();
}

void WriteSetupJson(TJsonWriter& out, TCESetup& setup, TCABFile& cabinet,
                    const TCabinetSignature& signature, TSetupDocument& document) {
    // The load's listing serves the sizes, the setup DLL test and the entries.
    const TCABFileContents& listing = cabinet.CABFileContents;
    // JSON follows the model, so the shortcuts need no collation.
    TReportOptions options;
    options.Order = [](const std::vector<std::string>& captions) {
        std::vector<size_t> order(captions.size());
        std::iota(order.begin(), order.end(), size_t{0});
        return order;
    };
    out.Key("format");
    out.String(setup.Format == kFormatXML ? "xml" : "binary");
    out.Key("project");
    WriteRecord(out, ProjectRecord(setup));
    out.Key("strings");
    WriteRecords(out, StringRecords(setup));
    out.Key("dirs");
    WriteRecords(out, DirRecords(setup));
    out.Key("regpaths");
    WriteRecords(out, RegPathRecords(setup));
    // The files page's records, one row at a time in model order, without its cells.
    out.Key("files");
    out.BeginArray();
    const std::vector<const TCABFileEntry*> entries = FileRowEntries(setup, listing);
    for (size_t i = 0; i < setup.Files.size(); ++i) {
        out.BeginObject();
        VisitFileRecord(setup.Files[i], entries[i], TJsonFields{out});
        out.EndObject();
    }
    out.EndArray();
    // Straight from the model, in its order: the page's key tree and cells are not needed here.
    out.Key("regvalues");
    out.BeginArray();
    for (const TCEINFRegValue& value : setup.RegValues) {
        out.BeginObject();
        VisitRegValueRecord(value, TJsonFields{out});
        out.EndObject();
    }
    out.EndArray();
    out.Key("shortcuts");
    WritePageRecords(out, BuildShortcutsPage(setup, options));
    out.Key("setupDll");
    WriteValue(out, PageField(BuildPropertiesPage(setup, listing), "setupDll"), TTexts::Latin1);
    WriteEntriesJson(out, listing);
    out.Key("signature");
    WriteSignatureJson(out, signature, document.TrustContext());
    out.Key("provisioning");
    WriteProvisioningJson(out, setup, document.Get());
}
