// libFuzzer target: TSetupXML::ParseDescriptor over arbitrary bytes in a memory stream, which runs
// TXMLParser::Parse and then the section walk; every item must lie inside the parser's Buffer.
#include "cab/Errors.h"
#include "cab/Streams.h"
#include "setup/SetupXML.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "xml/XMLPars.h"

#include <cstdlib>
#include <string>

namespace {

std::vector<uint8_t> Text(const std::string& s) {
    return {s.begin(), s.end()};
}

std::string FileEntry(const std::string& name, const std::string& source) {
    return "<characteristic type=\"" + name +
           "\" translation=\"install\">\n<characteristic type=\"Extract\">\n"
           "<parm name=\"Source\" value=\"" +
           source + "\" />\n</characteristic>\n</characteristic>\n";
}

std::vector<std::vector<uint8_t>> Seeds() {
    const std::string install = "<characteristic type=\"Install\">\n"
                                "<parm name=\"AppName\" value=\"Fuzz &quot;App&quot;\" />\n"
                                "<parm name=\"InstallDir\" value=\"%CE1%\\Fuzz\" />\n"
                                "</characteristic>\n";
    const std::string files = "<characteristic type=\"FileOperation\">\n"
                              "<characteristic type=\"%CE1%\\Fuzz\" translation=\"install\">\n"
                              "<characteristic type=\"MakeDir\" />\n" +
                              FileEntry("fuzz.exe", "fuzz.001") + FileEntry("a.txt", "a.txt") +
                              "</characteristic>\n"
                              "<characteristic type=\"%CE11%\" translation=\"install\">\n"
                              "<characteristic type=\"Fuzz.lnk\" translation=\"install\">\n"
                              "<characteristic type=\"Shortcut\">\n"
                              "<parm name=\"Source\" value=\"%CE1%\\Fuzz\\fuzz.exe\" />\n"
                              "</characteristic>\n</characteristic>\n</characteristic>\n"
                              "</characteristic>\n";
    const std::string registry =
        "<characteristic type=\"Registry\">\n<characteristic type=\"HKLM\\Software\\Fuzz\">\n"
        "<parm name=\"Path\" value=\"%InstallDir%\" datatype=\"string\" />\n"
        "<parm name=\"Count\" value=\"12\" datatype=\"integer\" />\n"
        "<parm name=\"List\" value=\"a\xEF\x80\x80"
        "b\xEF\x80\x80\" datatype=\"multiplestring\" />\n"
        "</characteristic>\n</characteristic>\n";
    const std::string custom =
        "<parm name='Top' value=x/>\n<characteristic type=Custom>"
        "<characteristic type=\"Inner\"><parm name=\"Deep\"></characteristic>"
        "</characteristic>\n";
    return {
        Text("<wap-provisioningdoc>\n" + install + custom + files + registry +
             "</wap-provisioningdoc>\n"),
        Text("<?xml version=\"1.0\" encoding='utf-8'?>\n<!DOCTYPE x>\n<wap-provisioningdoc>\n" +
             install + files + "<!-- comment --></wap-provisioningdoc>\n<characteristic/>"),
        Text(install + registry + "</characteristic>" + files),
        Text("<root><script>if (a<b) x;</SCRIPT><style>p<q</style><%= s %>"
             "<characteristic type=\"FileOperation\"><characteristic type=\"%CE2%\" "
             "translation=install><parm name=\"Source\" value=\"x.002\"/></root>"),
    };
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(Seeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSetupXML setup;
    TXMLParser& parser = *setup.Parser;
    // An odd first byte parses without the content probe, so any bytes reach the section walk.
    if (size > 0 && (data[0] & 1)) parser.ProbeMode = 2;
    size_t reports = 0;
    parser.OnError = [&reports](const std::string&, const std::string&) { ++reports; };
    TMemoryStream stream(std::vector<uint8_t>(data, data + size));
    try {
        (void)setup.ParseDescriptor({}, &stream);
    } catch (const EConvertError&) {
        // A Source extension whose digits overflow 32 bits: the documented conversion error.
    } catch (const EOutOfMemory&) {
    }
    const char* begin = parser.Buffer.data();
    const char* end = begin + parser.Buffer.size();
    const auto inside = [begin, end](const TXMLItem& item) {
        return item.Length <= 0 || (item.Start >= begin && item.Start + item.Length <= end);
    };
    for (size_t i = 0; i < parser.Items.size(); ++i) {
        TXMLItem span;
        span.SetSpan(parser.TextAt(i).data(), static_cast<int64_t>(parser.TextAt(i).size()));
        if (!inside(span)) std::abort();
        if (const TXMLTag* tag = parser.TagAt(i)) {
            if (!inside(tag->Text) || !inside(tag->Name)) std::abort();
            for (const TXMLParam& p : tag->Params)
                if (!inside(p.Name) || !inside(p.Value) || !inside(p.Whole)) std::abort();
        }
    }
    return 0;
}
