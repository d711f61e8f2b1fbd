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

// File names are bytes; invalid UTF-8 becomes U+FFFD rather than failing the line.
void FileMember(TJsonWriter& out, const std::string& file) {
    out.Key("file");
    out.String(WellFormedUtf8(file));
}

} // namespace

TFileOutput::TFileOutput(std::ostream& out, std::ostream& err, const std::string* file, bool json)
    : FOut(out), FErr(err), FFile(file), FJson(json) {}

void TFileOutput::Json(const std::function<void(TJsonWriter&)>& members) {
    TJsonWriter out;
    out.BeginObject();
    if (FFile) FileMember(out, *FFile);
    members(out);
    out.EndObject();
    out.Put('\n');
    if (FFile)
        WriteWhole(FOut, out.Text());
    else
        FOut.write(out.Text().data(), static_cast<std::streamsize>(out.Text().size()));
}

std::ostream& TFileOutput::Text() {
    if (FFile && !FHeadingWritten) {
        FOut << "==> " << PlainText(*FFile) << " <==\n";
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
        FileMember(line, *FFile);
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
        FErr << "tessary-info: " << PlainText(*FFile) << ": " << PlainText(reason) << '\n';
    }
    return exit;
}
