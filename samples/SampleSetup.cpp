#include "samples/SampleSetup.h"

#include "setup/CABData.h"

namespace {
DescriptorBuilder SampleBuilder() {
    DescriptorBuilder builder("Field Notes", "Tessary Samples", "%CE1%\\Field Notes", true);
    builder.Plan().Processor = 2577;
    builder.Plan().PlatformName = "PocketPC";

    const uint16_t install = 1;
    const uint16_t data = builder.Dir("%CE1%\\Field Notes\\Data");
    const uint16_t help = builder.Dir("%CE2%\\Help");
    const uint16_t windows = builder.Dir("%CE2%");
    const uint16_t exe = builder.File(install, "FieldNotes.exe");
    builder.File(install, "NotesCore.dll", kFlagSelfRegister);
    builder.File(install, "readme.txt");
    builder.File(data, "templates.dat");
    builder.File(data, "LICENSE");
    builder.File(help, "FieldNotes.htm");
    builder.File(windows, "notesrt.dll", kFlagShared | 0x00000002);
    builder.ShortcutInStandardFolder("Field Notes", exe, 11);
    builder.ShortcutInStandardFolder("Notes on desktop", exe, 3);

    const uint16_t extension = builder.RegKey(1, ".fnote");
    builder.RegString(extension, "", "FieldNotes.Document");
    const uint16_t document = builder.RegKey(1, "FieldNotes.Document\\Shell\\Open\\Command");
    builder.RegString(document, "", "\"%CE1%\\Field Notes\\FieldNotes.exe\" %1");
    const uint16_t settings = builder.RegKey(2, "Software\\Tessary Samples\\Field Notes");
    builder.RegString(settings, "LastFolder", "\\My Documents");
    builder.RegNumber(settings, "FontSize", 9);
    builder.RegMultiString(settings, "Recent", {"Trip.fnote", "Birds.fnote"});
    builder.RegBinary(settings, "WindowState", {0x01, 0x00, 0x2c, 0x01});
    const uint16_t machine = builder.RegKey(3, "Software\\Tessary Samples\\Field Notes");
    builder.RegString(machine, "InstallDir", "%CE1%\\Field Notes");
    builder.RegNumber(machine, "Version", 0x00010200);
    return builder;
}

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}
} // namespace

DescriptorPlan SampleSetupPlan() {
    return SampleBuilder().Plan();
}

SetupCabinetContents SampleSetupContents() {
    SetupCabinetContents contents;
    contents.Stem = "FIELDN~1";
    const DescriptorPlan plan = SampleSetupPlan();
    for (const DescFile& file : plan.Files) {
        // Sizes differ, so the size column shows bytes and kilobytes.
        std::string body = "Field Notes sample file " + file.Name + "\r\n";
        const size_t repeat = file.Id * file.Id * 40;
        std::string content;
        for (size_t i = 0; i < repeat; ++i)
            content += body;
        contents.FileData[file.Id] = Text(content);
    }
    contents.SetupDll = Text("MZ sample setup DLL; never run by the viewer");
    return contents;
}

void WriteSampleSetup(const std::string& path) {
    WriteSetupCabinet(path, SampleSetupPlan(), SampleSetupContents());
}
