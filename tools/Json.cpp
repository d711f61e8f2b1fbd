#include "tools/Json.h"

#include "cab/cabfiles.h"
#include "report/Records.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "setup/CESetup.h"

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

// The records of a page's rows in model order.
ordered_json ModelRows(const TPage& page) {
    ordered_json array = ordered_json::array();
    auto& items = array.get_ref<ordered_json::array_t&>();
    items.reserve(page.Rows.size());
    for (const TRow* row : InModelOrder(page))
        items.push_back(ToJson(row->Record));
    return array;
}

// The first row field of that name on the page.
TValue PageField(const TPage& page, const char* key) {
    for (const TRow& row : page.Rows)
        if (const TValue* value = FindField(row.Record, key)) return *value;
    return {};
}

} // namespace

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
    root.get_ref<ordered_json::object_t&>().reserve(10);
    root["format"] = setup.Format == kFormatXML ? "xml" : "binary";
    root["project"] = ToJson(ProjectRecord(setup));
    root["strings"] = ToJsonArray(StringRecords(setup));
    root["dirs"] = ToJsonArray(DirRecords(setup));
    root["regpaths"] = ToJsonArray(RegPathRecords(setup));
    root["files"] = ModelRows(BuildFilesPage(setup, listing, options));
    root["regvalues"] = ModelRows(BuildRegistryPages(setup).Values);
    root["shortcuts"] = ModelRows(BuildShortcutsPage(setup, options));
    root["setupDll"] = ToJson(PageField(BuildPropertiesPage(setup, listing), "setupDll"));
    root["entries"] = EntriesToJson(cabinet);
    return root;
}
