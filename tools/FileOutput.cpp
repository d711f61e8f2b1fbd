#include "tools/FileOutput.h"

#include "cab/PlainText.h"

using nlohmann::ordered_json;

namespace {

// File names are bytes; invalid UTF-8 becomes U+FFFD rather than failing the line. Each line
// leaves in one write, so that processes started side by side (xargs -P) appending to one file
// do not cut into each other's lines.
void WriteLine(std::ostream& out, const ordered_json& doc) {
    out.flush();
    const std::string line =
        doc.dump(-1, ' ', false, ordered_json::error_handler_t::replace) + '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

} // namespace

TFileOutput::TFileOutput(std::ostream& out, std::ostream& err, const std::string* file, bool json)
    : FOut(out), FErr(err), FFile(file), FJson(json) {}

void TFileOutput::Json(ordered_json doc) {
    if (!FFile) {
        FOut << doc.dump() << '\n';
        return;
    }
    ordered_json line = ordered_json::object();
    line["file"] = *FFile;
    if (!FContainer.empty()) line["container"] = ordered_json::parse(FContainer);
    auto& members = line.get_ref<ordered_json::object_t&>();
    for (auto& [key, value] : doc.get_ref<ordered_json::object_t&>())
        members.emplace(key, std::move(value));
    WriteLine(FOut, line);
}

void TFileOutput::Json(const std::function<void(TJsonWriter&)>& members) {
    TJsonWriter out;
    out.BeginObject();
    if (FFile) {
        out.Key("file");
        // File names are bytes: invalid UTF-8 becomes U+FFFD rather than failing the line.
        out.Raw(ordered_json(*FFile).dump(-1, ' ', false, ordered_json::error_handler_t::replace));
        if (!FContainer.empty()) {
            out.Key("container");
            out.Raw(FContainer);
        }
    }
    members(out);
    out.EndObject();
    out.Put('\n');
    const std::string_view text = out.Text();
    if (FFile) FOut.flush();
    FOut.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (FFile) FOut.flush();
}

void TFileOutput::Separate() {
    if (!FJson) FOut << '\n';
}

std::ostream& TFileOutput::Text() {
    if (FFile && !FHeadingWritten) {
        FOut << "==> " << (FHeading.empty() ? *FFile : FHeading) << " <==\n";
        FHeadingWritten = true;
    }
    return FOut;
}

int TFileOutput::Fail(int exit, const std::string& diagnostic, const std::string& reason) {
    if (!FFile) {
        FErr << diagnostic << '\n';
    } else if (FJson) {
        ordered_json line = ordered_json::object();
        line["file"] = *FFile;
        if (!FContainer.empty()) line["container"] = ordered_json::parse(FContainer);
        line["error"] = reason;
        line["exit"] = exit;
        WriteLine(FOut, line);
    } else {
        // The heading first, so that a terminal shows the message under it.
        Text().flush();
        FErr << "tessary-info: " << (FHeading.empty() ? PlainText(*FFile) : FHeading) << ": "
             << PlainText(reason) << '\n';
    }
    return exit;
}

TFileOutput TFileOutput::Inside(const std::string& file, const std::string& inside,
                                std::string containerJson) const {
    TFileOutput output(FOut, FErr, &file, FJson);
    output.FHeading = PlainText(file) + " : " + inside;
    output.FContainer = std::move(containerJson);
    return output;
}
