#include "tools/FileOutput.h"

#include "cab/PlainText.h"
#include "tools/Json.h"

namespace {

// Each line leaves in one write, so that processes started side by side (xargs -P) appending to
// one file do not cut into each other's lines.
void WriteWhole(std::ostream& out, std::string_view text) {
    out.flush();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
}

// File names are bytes; invalid UTF-8 becomes U+FFFD rather than failing the line. A setup inside
// a package has its "container" object (already JSON) right after.
void FileMember(TJsonWriter& out, const std::string& file, const std::string& container) {
    out.Key("file");
    out.String(WellFormedUtf8(file));
    if (container.empty()) return;
    out.Key("container");
    out.Raw(container);
}

} // namespace

TFileOutput::TFileOutput(std::ostream& out, std::ostream& err, const std::string* file, bool json)
    : FOut(out), FErr(err), FFile(file), FJson(json) {}

void TFileOutput::Json(const std::function<void(TJsonWriter&)>& members) {
    TJsonWriter out;
    out.BeginObject();
    if (FFile) FileMember(out, *FFile, FContainer);
    members(out);
    out.EndObject();
    out.Put('\n');
    if (FFile)
        WriteWhole(FOut, out.Text());
    else
        FOut.write(out.Text().data(), static_cast<std::streamsize>(out.Text().size()));
}

void TFileOutput::Separate() {
    if (!FJson) FOut << '\n';
}

std::ostream& TFileOutput::Text() {
    if (FFile && !FHeadingWritten) {
        FOut << "==> " << (FHeading.empty() ? PlainText(*FFile) : FHeading) << " <==\n";
        FHeadingWritten = true;
    }
    return FOut;
}

int TFileOutput::Fail(int exit, const std::string& diagnostic, const std::string& reason) {
    // Escaping is idempotent: a diagnostic whose parts were escaped already stays as it is.
    if (!FFile) {
        FErr << PlainText(diagnostic) << '\n';
    } else if (FJson) {
        TJsonWriter line;
        line.BeginObject();
        FileMember(line, *FFile, FContainer);
        line.Key("error");
        line.String(WellFormedUtf8(reason));
        line.Key("exit");
        line.Int(exit);
        line.EndObject();
        line.Put('\n');
        WriteWhole(FOut, line.Text());
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
