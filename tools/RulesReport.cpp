#include "tools/RulesReport.h"

#include "audit/FindingsPage.h"
#include "tools/Json.h"
#include "tools/JsonWriter.h"

namespace {

constexpr size_t kWrap = 76;

// Words joined into lines of at most kWrap characters, each led by indent.
std::string Wrapped(const std::string& text, const std::string& indent) {
    std::string out, line;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && indent.size() + line.size() + 1 + word.size() > kWrap) {
            out += indent + line + '\n';
            line.clear();
        }
        if (!word.empty()) line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    if (!line.empty()) out += indent + line + '\n';
    return out;
}

// Text as troff takes it: backslashes and hyphens escaped, no line starting a request.
std::string Troff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

} // namespace

void WriteRulesText(std::ostream& out) {
    const TPage page = BuildRulesPage();
    for (size_t i = 0; i < page.Rows.size(); ++i) {
        const auto& cells = page.Rows[i].Cells;
        if (i > 0) out << '\n';
        out << cells[0].Text << " (" << cells[1].Text << ", " << cells[2].Text << ")\n"
            << "  " << cells[3].Text << '\n'
            << Wrapped(cells[4].Text, "  ");
    }
}

nlohmann::ordered_json RulesToJson() {
    nlohmann::ordered_json root;
    TJsonWriter records;
    WriteMixedPageRecords(records, BuildRulesPage());
    root["rules"] = nlohmann::ordered_json::parse(records.Text());
    return root;
}

std::string RulesManText() {
    const TPage page = BuildRulesPage();
    std::string out;
    for (const TRow& row : page.Rows) {
        const auto& cells = row.Cells;
        out += ".TP\n.B " + Troff(cells[0].Text) + "\n";
        out += Troff(cells[1].Text + ", " + cells[2].Text + ": " + cells[3].Text + ".") + "\n";
        out += Troff(cells[4].Text) + "\n";
    }
    return out;
}
