#include "tools/Inventory.h"

#include "cab/PlainText.h"
#include "compare/SetupFacts.h"
#include "tessary/Version.h"
#include "tools/JsonWriter.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {

constexpr int kExitNotSetup = 1;
constexpr int kExitFailure = 3;

void PrintError(const std::string& text) {
    std::fprintf(stderr, "tessary-info: %s\n", PlainText(text).c_str());
}

// Reads the setup with every file hashed; the failure is said and its status answered.
int Read(const std::string& path, TSetupFacts& facts) {
    const TFactsResult read = ReadSetupFacts(path, facts, {}, true);
    if (read.Status == TFactsStatus::Read) return 0;
    PrintError(read.Message);
    return read.Status == TFactsStatus::NotSetup ? kExitNotSetup : kExitFailure;
}

std::string Property(const TSetupFacts& facts, const char* caption) {
    for (const TFact& f : facts.Properties)
        if (!f.Identity.empty() && f.Identity[0] == caption && !f.Values.empty())
            return f.Values[0];
    return {};
}

std::string WorkingFolder() {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string(".") : Utf8Else8(here.string());
}

// The device's path of a file: its folder and name, "\" between.
std::string DevicePath(const TFileFacts& f) {
    return Latin1ToUtf8(f.Folder + f.Name);
}

// A name-based UUID (version 5 layout) from the cabinet's SHA-256: the same cabinet gives the
// same document.
std::string SerialNumber(const std::string& sha256) {
    std::string hex = sha256.substr(0, 32);
    hex[12] = '5';
    static const char variant[] = "89ab";
    hex[16] = variant[(hex[16] >= 'a' ? hex[16] - 'a' + 10 : hex[16] - '0') & 3];
    return "urn:uuid:" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

void Hashes(TJsonWriter& out, const std::string& md5, const std::string& sha256) {
    out.Key("hashes");
    out.BeginArray();
    const auto hash = [&](const char* alg, const std::string& content) {
        if (content.empty()) return;
        out.BeginObject();
        out.Key("alg");
        out.String(alg);
        out.Key("content");
        out.String(content);
        out.EndObject();
    };
    hash("MD5", md5);
    hash("SHA-256", sha256);
    out.EndArray();
}

void Supplier(TJsonWriter& out, const std::string& name) {
    if (name.empty()) return;
    out.Key("supplier");
    out.BeginObject();
    out.Key("name");
    out.String(name);
    out.EndObject();
}

void Properties(TJsonWriter& out, const std::vector<std::pair<const char*, std::string>>& all) {
    out.Key("properties");
    out.BeginArray();
    for (const auto& [name, value] : all) {
        if (value.empty()) continue;
        out.BeginObject();
        out.Key("name");
        out.String(name);
        out.Key("value");
        out.String(value);
        out.EndObject();
    }
    out.EndArray();
}

const char* ComponentType(const TFileFacts& f) {
    if (f.Kind == "DLL") return "library";
    if (f.Kind == "Program") return "application";
    return "file";
}

} // namespace

int MakeManifest(const std::string& path, std::string& text) {
    TSetupFacts facts;
    if (const int status = Read(path, facts); status != 0) return status;
    text = "%%%% HASHDEEP-1.0\n%%%% size,md5,sha256,filename\n"
           "## Invoked from: " +
           WorkingFolder() + "\n## $ tessary-info --manifest " + Latin1ToUtf8(path) + "\n##\n";
    int status = 0;
    for (const TFileFacts& f : facts.Files) {
        if (f.Size < 0) {
            PrintError(path + ": no cabinet entry for " + f.Folder + f.Name +
                       "; it is not in the manifest");
            status = kExitFailure;
            continue;
        }
        text += std::to_string(f.Size) + "," + f.Md5 + "," + f.Sha256 + "," + DevicePath(f) + "\n";
    }
    return status;
}

int WriteManifest(const std::string& path) {
    std::string text;
    const int status = MakeManifest(path, text);
    std::cout << text;
    return status;
}

namespace {

// The SBOM's metadata: the tool that made it and the setup it describes.
void SbomMetadata(TJsonWriter& out, const TSetupFacts& facts, const std::string& path,
                  const std::string& name, const std::string& cabinetSha) {
    out.BeginObject();
    out.Key("tools");
    out.BeginObject();
    out.Key("components");
    out.BeginArray();
    out.BeginObject();
    out.Key("type");
    out.String("application");
    out.Key("name");
    out.String("tessary-info");
    out.Key("version");
    out.String(kTessaryVersion);
    out.EndObject();
    out.EndArray();
    out.EndObject();
    out.Key("component");
    out.BeginObject();
    out.Key("type");
    out.String("application");
    out.Key("bom-ref");
    out.String("setup");
    Supplier(out, Latin1ToUtf8(Property(facts, "Company")));
    out.Key("name");
    out.String(name);
    Hashes(out, {}, cabinetSha);
    Properties(out,
               {{"tessary:cabinet", Latin1ToUtf8(path)},
                {"tessary:processor", Latin1ToUtf8(Property(facts, "Processor"))},
                {"tessary:installDirectory", Latin1ToUtf8(Property(facts, "Install Directory"))}});
    out.EndObject();
    out.EndObject();
}

// One file the setup installs, as a component named ref.
void SbomFileComponent(TJsonWriter& out, const TFileFacts& f, const std::string& ref) {
    out.BeginObject();
    out.Key("type");
    out.String(ComponentType(f));
    out.Key("bom-ref");
    out.String(ref);
    Supplier(out, Utf8Else8(f.Company));
    out.Key("name");
    out.String(Latin1ToUtf8(f.Name));
    if (!f.Version.empty()) {
        out.Key("version");
        out.String(Utf8Else8(f.Version));
    }
    Hashes(out, f.Md5, f.Sha256);
    Properties(out, {{"tessary:folder", Latin1ToUtf8(f.Folder)},
                     {"tessary:devicePath", DevicePath(f)},
                     {"tessary:size", f.Size >= 0 ? std::to_string(f.Size) : ""},
                     {"tessary:cpu", f.Cpu}});
    out.EndObject();
}

} // namespace

int MakeSbom(const std::string& path, std::string& text) {
    TSetupFacts facts;
    if (const int status = Read(path, facts); status != 0) return status;
    std::string why;
    const std::string cabinetSha = FileSha256(path, why);
    if (cabinetSha.empty()) {
        PrintError(why);
        return kExitFailure;
    }
    std::string name = Latin1ToUtf8(Property(facts, "Software Name"));
    if (name.empty()) name = Latin1ToUtf8(path.substr(path.find_last_of("/\\") + 1));
    TJsonWriter out;
    out.BeginObject();
    out.Key("bomFormat");
    out.String("CycloneDX");
    out.Key("specVersion");
    out.String("1.5");
    out.Key("serialNumber");
    out.String(SerialNumber(cabinetSha));
    out.Key("version");
    out.Int(1);
    out.Key("metadata");
    SbomMetadata(out, facts, path, name, cabinetSha);
    out.Key("components");
    out.BeginArray();
    std::vector<std::string> refs;
    for (size_t i = 0; i < facts.Files.size(); ++i) {
        refs.push_back("file-" + std::to_string(i + 1));
        SbomFileComponent(out, facts.Files[i], refs.back());
    }
    out.EndArray();
    out.Key("dependencies");
    out.BeginArray();
    out.BeginObject();
    out.Key("ref");
    out.String("setup");
    out.Key("dependsOn");
    out.BeginArray();
    for (const std::string& ref : refs)
        out.String(ref);
    out.EndArray();
    out.EndObject();
    out.EndArray();
    out.EndObject();
    out.Put('\n');
    text.assign(out.Text());
    return 0;
}

int WriteSbom(const std::string& path) {
    std::string text;
    const int status = MakeSbom(path, text);
    std::cout << text;
    return status;
}
