// Writing the records of a generated 20,000-file setup (its files page and its cabinet entries)
// as the tool's JSON: our own writer, rows written one at a time, against a document built whole
// with nlohmann (how the tool wrote it before) and, when its headers are installed, RapidJSON's
// streaming writer. RapidJSON escapes control characters with upper-case hex digits, so it could
// not give the same bytes without writing the strings itself; it is measured as a bound.
#include "cab/cabfiles.h"
#include "report/Records.h"
#include "report/SetupPages.h"
#include "setup/CESetup.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tools/Json.h"
#include "tools/JsonWriter.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#if __has_include(<rapidjson/writer.h>)
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#define TESSARY_HAVE_RAPIDJSON 1
#endif

#include <memory>
#include <string>

namespace {

constexpr int kFiles = 20000;

struct TLoaded {
    TempDir Dir;
    TCABFile Cabinet;
    TCESetup Setup;
    TPage Files;
};

const TLoaded& Loaded() {
    static const std::unique_ptr<TLoaded> loaded = [] {
        auto l = std::make_unique<TLoaded>();
        DescriptorBuilder b("Generated", "Bench", "%CE1%\\Generated");
        const uint16_t data = b.Dir("%CE1%\\Generated\\Data");
        for (int i = 0; i < kFiles; ++i)
            b.File(i % 2 ? data : 1, "file" + std::to_string(i) + ".dat");
        const std::string path = l->Dir.File("setup.cab");
        WriteSetupCabinet(path, b.Plan(), {}, FixtureCompression::None);
        l->Setup.Cabinet = &l->Cabinet;
        if (!l->Setup.LoadSetup(path, std::string(), false)) std::abort();
        l->Files = BuildFilesPage(l->Setup, l->Cabinet.CABFileContents);
        return l;
    }();
    return *loaded;
}

void BM_OwnWriter(benchmark::State& state) {
    const TLoaded& l = Loaded();
    for (auto _ : state) {
        TJsonWriter out;
        out.BeginObject();
        out.Key("files");
        WritePageRecords(out, l.Files);
        WriteEntriesJson(out, l.Cabinet.CABFileContents);
        out.EndObject();
        benchmark::DoNotOptimize(out.Text().size());
    }
}
BENCHMARK(BM_OwnWriter)->Unit(benchmark::kMillisecond);

nlohmann::ordered_json ToNlohmann(const TRecord& record) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const auto& [name, value] : record) {
        if (const auto* text = std::get_if<std::string>(&value))
            object[name] = Latin1ToUtf8(*text);
        else if (const auto* number = std::get_if<int64_t>(&value))
            object[name] = *number;
        else if (const auto* flag = std::get_if<bool>(&value))
            object[name] = *flag;
        else
            object[name] = nullptr;
    }
    return object;
}

void BM_NlohmannDocument(benchmark::State& state) {
    const TLoaded& l = Loaded();
    for (auto _ : state) {
        nlohmann::ordered_json root = nlohmann::ordered_json::object();
        nlohmann::ordered_json& files = root["files"] = nlohmann::ordered_json::array();
        for (const TRow* row : InModelOrder(l.Files))
            files.push_back(ToNlohmann(row->Record));
        nlohmann::ordered_json& entries = root["entries"] = nlohmann::ordered_json::array();
        for (const TRecord& record : EntryRecords(l.Cabinet.CABFileContents))
            entries.push_back(ToNlohmann(record));
        benchmark::DoNotOptimize(root.dump().size());
    }
}
BENCHMARK(BM_NlohmannDocument)->Unit(benchmark::kMillisecond);

#ifdef TESSARY_HAVE_RAPIDJSON
void WriteRapid(rapidjson::Writer<rapidjson::StringBuffer>& out, const TRecord& record) {
    out.StartObject();
    for (const auto& [name, value] : record) {
        out.Key(name);
        if (const auto* text = std::get_if<std::string>(&value)) {
            const std::string utf8 = Latin1ToUtf8(*text);
            out.String(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()));
        } else if (const auto* number = std::get_if<int64_t>(&value)) {
            out.Int64(*number);
        } else if (const auto* flag = std::get_if<bool>(&value)) {
            out.Bool(*flag);
        } else {
            out.Null();
        }
    }
    out.EndObject();
}

void BM_RapidJsonWriter(benchmark::State& state) {
    const TLoaded& l = Loaded();
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> out(buffer);
        out.StartObject();
        out.Key("files");
        out.StartArray();
        for (const TRow* row : InModelOrder(l.Files))
            WriteRapid(out, row->Record);
        out.EndArray();
        out.Key("entries");
        out.StartArray();
        for (const TRecord& record : EntryRecords(l.Cabinet.CABFileContents))
            WriteRapid(out, record);
        out.EndArray();
        out.EndObject();
        benchmark::DoNotOptimize(buffer.GetSize());
    }
}
BENCHMARK(BM_RapidJsonWriter)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
