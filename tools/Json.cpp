#include "tools/Json.h"

#include "cab/cabfiles.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/Records.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"

#include <numeric>

using nlohmann::ordered_json;

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

namespace {

ordered_json ToJson(const TValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return Latin1ToUtf8(*text);
    if (const auto* number = std::get_if<int64_t>(&value)) return *number;
    if (const auto* flag = std::get_if<bool>(&value)) return *flag;
    return nullptr;
}

ordered_json ToJson(const TRecord& record) {
    ordered_json object = ordered_json::object();
    // Reserved: the ordered map's keys are const, so growing it copies every member.
    auto& members = object.get_ref<ordered_json::object_t&>();
    members.reserve(record.size());
    for (const auto& [name, value] : record)
        members.emplace(name, ToJson(value));
    return object;
}

template <class Records> ordered_json ToJsonArray(const Records& records) {
    ordered_json array = ordered_json::array();
    auto& items = array.get_ref<ordered_json::array_t&>();
    items.reserve(records.size());
    for (const auto& record : records)
        items.push_back(ToJson(record));
    return array;
}

} // namespace

ordered_json PageRecordsToJson(const TPage& page) {
    ordered_json array = ordered_json::array();
    auto& items = array.get_ref<ordered_json::array_t&>();
    items.reserve(page.Rows.size());
    for (const TRow* row : InModelOrder(page))
        items.push_back(ToJson(row->Record));
    return array;
}

namespace {

// The first row field of that name on the page.
TValue PageField(const TPage& page, const char* key) {
    for (const TRow& row : page.Rows)
        if (const TValue* value = FindField(row.Record, key)) return *value;
    return {};
}

} // namespace

namespace {

// Certificate texts are UTF-8 already; a byte that does not belong to a well-formed sequence
// (a hostile certificate's) becomes U+FFFD, so that the document can always be written.
std::string WellFormedUtf8(const std::string& text) {
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

ordered_json Utf8Json(const TRecord& record) {
    ordered_json object = ordered_json::object();
    for (const auto& [name, value] : record) {
        if (const auto* text = std::get_if<std::string>(&value))
            object[name] = WellFormedUtf8(*text);
        else
            object[name] = ToJson(value);
    }
    return object;
}

ordered_json Utf8JsonRows(const TPage& page) {
    ordered_json array = ordered_json::array();
    for (const TRow* row : InModelOrder(page))
        array.push_back(Utf8Json(row->Record));
    return array;
}

} // namespace

ordered_json SignatureToJson(const TCabinetSignature& signature) {
    const TSignaturePages pages = BuildSignaturePages(signature);
    ordered_json object = Utf8Json(pages.Summary);
    object["certificates"] = Utf8JsonRows(pages.Certificates);
    object["checks"] = Utf8JsonRows(pages.Checks);
    return object;
}

namespace {

// Provisioning texts mix the document's bytes with certificate names that OpenSSL gives as
// UTF-8: valid UTF-8 stays as it is, anything else is taken as 8-bit like the model's texts.
ordered_json Utf8Record(const TRecord& record) {
    ordered_json object = ordered_json::object();
    auto& members = object.get_ref<ordered_json::object_t&>();
    members.reserve(record.size());
    for (const auto& [name, value] : record) {
        const auto* text = std::get_if<std::string>(&value);
        members.emplace(name, text && WellFormedUtf8(*text) == *text ? ordered_json(*text)
                                                                     : ToJson(value));
    }
    return object;
}

ordered_json Utf8Rows(const TPage& page) {
    ordered_json array = ordered_json::array();
    auto& items = array.get_ref<ordered_json::array_t&>();
    items.reserve(page.Rows.size());
    for (const TRow& row : page.Rows)
        items.push_back(Utf8Record(row.Record));
    return array;
}

} // namespace

ordered_json ProvisioningToJson(TCESetup& setup, TCABFile& cabinet) {
    provisioning::TProvisioningTree tree;
    if (!provisioning::ReadCabinetProvisioning(cabinet, tree)) return nullptr;
    const provisioning::TProvisioningSummary s = provisioning::Summarize(tree);
    const provisioning::TProvisioningPages pages = provisioning::BuildProvisioningPages(tree);
    ordered_json root = ordered_json::object();
    root["provisioningOnly"] = provisioning::IsProvisioningOnly(setup);
    root["headline"] = provisioning::ProvisioningHeadline(s);
    root["summary"] = {{"securityPolicies", s.SecurityPolicies},
                       {"certificates", s.Certificates},
                       {"characteristics", s.Characteristics},
                       {"parms", s.Parms},
                       {"queries", s.Queries},
                       {"removals", s.Removals},
                       {"notes", s.Notes}};
    root["rows"] = Utf8Rows(pages.Rows);
    root["certificates"] = Utf8Rows(pages.Certificates);
    return root;
}

ordered_json EntriesToJson(const TCABFile& cabinet) {
    return ToJsonArray(EntryRecords(cabinet.CABFileContents));
}

ordered_json SetupToJson(TCESetup& setup, TCABFile& cabinet) {
    // One listing serves the sizes, the setup DLL test and the entries.
    cabinet.ListContents();
    const TCABFileContents& listing = cabinet.CABFileContents;
    // JSON follows the model, so the rows need no collation.
    TReportOptions options;
    options.Order = [](const std::vector<std::string>& captions) {
        std::vector<size_t> order(captions.size());
        std::iota(order.begin(), order.end(), size_t{0});
        return order;
    };
    ordered_json root = ordered_json::object();
    root.get_ref<ordered_json::object_t&>().reserve(12);
    root["format"] = setup.Format == kFormatXML ? "xml" : "binary";
    root["project"] = ToJson(ProjectRecord(setup));
    root["strings"] = ToJsonArray(StringRecords(setup));
    root["dirs"] = ToJsonArray(DirRecords(setup));
    root["regpaths"] = ToJsonArray(RegPathRecords(setup));
    root["files"] = PageRecordsToJson(BuildFilesPage(setup, listing, options));
    root["regvalues"] = PageRecordsToJson(BuildRegistryPages(setup).Values);
    root["shortcuts"] = PageRecordsToJson(BuildShortcutsPage(setup, options));
    root["setupDll"] = ToJson(PageField(BuildPropertiesPage(setup, listing), "setupDll"));
    root["entries"] = EntriesToJson(cabinet);
    root["signature"] = SignatureToJson(VerifyCabinetSignature(cabinet.CABFile));
    root["provisioning"] = ProvisioningToJson(setup, cabinet);
    return root;
}
