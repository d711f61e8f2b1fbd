#include "package/AppManagerIni.h"
#include "package/Package.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/PackageBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

std::string PackageFile(const std::string& name) {
    return CorpusDir() + "/packages/" + name;
}

} // namespace

TEST(AppManagerIni, ReadsComponentsAndTheirCabinetsIgnoringCaseAndBlanks) {
    const TAppManagerIni ini = ParseAppManagerIni(
        "; made by hand\r\n[ceappmanager]\r\ncomponent = Main , Extra\r\n\r\n[MAIN]\r\n"
        "Description = \"The main one\"\r\nCABFILES = App.ARM.CAB, App.SH3.CAB ,\r\n"
        "[Extra]\r\ncabfiles=Extra.cab\r\n[Unused]\r\nCabFiles = Nobody.cab\r\n");
    ASSERT_TRUE(ini.Valid) << ini.Error;
    ASSERT_EQ(ini.Components.size(), 2u);
    EXPECT_EQ(ini.Components[0].Name, "Main");
    EXPECT_EQ(ini.Components[0].Description, "The main one");
    EXPECT_EQ(ini.Components[0].CabFiles, (std::vector<std::string>{"App.ARM.CAB", "App.SH3.CAB"}));
    EXPECT_EQ(ini.Components[1].CabFiles, (std::vector<std::string>{"Extra.cab"}));
}

TEST(AppManagerIni, RefusesWhatIsNoApplicationManagerIni) {
    EXPECT_FALSE(ParseAppManagerIni("").Valid);
    EXPECT_FALSE(ParseAppManagerIni("[Setup]\nComponent = A\n[A]\nCabFiles = a.cab\n").Valid);
    const TAppManagerIni noSection = ParseAppManagerIni("[CEAppManager]\nComponent = A\n");
    EXPECT_FALSE(noSection.Valid);
    EXPECT_NE(noSection.Error.find("no component"), std::string::npos) << noSection.Error;
    EXPECT_FALSE(ParseAppManagerIni(std::string(kMaxIniSize + 1, ';')).Valid);
}

// Cut at every byte, the real .ini gives either no result or components whose cabinet names
// are beginnings of the real ones; never a crash.
TEST(AppManagerIni, TruncatedAtEveryByteFailsCleanly) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    for (const char* name : {"Eliminator/Setup.ini", "Ushahidi/Ushahidi.ini"}) {
        const std::string text = Text(ReadFileBytes(PackageFile(name)));
        const TAppManagerIni whole = ParseAppManagerIni(text);
        ASSERT_TRUE(whole.Valid) << name;
        const std::string cabinet = whole.Components.at(0).CabFiles.at(0);
        for (size_t cut = 0; cut < text.size(); ++cut) {
            const TAppManagerIni part = ParseAppManagerIni(text.substr(0, cut));
            if (!part.Valid) {
                EXPECT_FALSE(part.Error.empty()) << name << " cut at " << cut;
                continue;
            }
            ASSERT_EQ(part.Components.size(), 1u);
            for (const std::string& c : part.Components[0].CabFiles)
                EXPECT_EQ(cabinet.rfind(c, 0), 0u) << name << " cut at " << cut << ": " << c;
        }
    }
}

// Both real packages open through their .ini: the component and its cabinet beside it.
TEST(Package, RealIniFindsItsCabinetBesideIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    const struct {
        const char* Ini;
        const char* Component;
        const char* Cabinet;
    } cases[] = {{"Eliminator/Setup.ini", "Eliminator", "Eliminator.ARM.CAB"},
                 {"Ushahidi/Ushahidi.ini", "Ushahidi", "Ushahidi.CAB"}};
    for (const auto& c : cases) {
        const auto package = OpenPackage(PackageFile(c.Ini));
        ASSERT_EQ(package->Kind, TContainerKind::AppManagerIni) << c.Ini;
        EXPECT_EQ(package->Error, "") << c.Ini;
        ASSERT_EQ(package->Setups.size(), 1u) << c.Ini;
        const TContainedSetup& setup = package->Setups[0];
        EXPECT_EQ(setup.Component, c.Component);
        EXPECT_EQ(setup.PathInside, c.Cabinet);
        EXPECT_EQ(setup.Problem, "");
        EXPECT_TRUE(std::filesystem::equivalent(
            setup.CabinetPath,
            PackageFile(std::string(c.Ini).substr(0, std::string(c.Ini).find('/')) + "/" +
                        c.Cabinet)));
    }
}

TEST(Package, IniFindsCabinetsIgnoringCaseAndNamesTheMissingOnes) {
    TempDir dir;
    WriteFileBytes(dir.File("app.arm.cab"), SmallSetupCabinet("App"));
    const std::string ini = dir.File("App.ini");
    const std::string text = AppManagerIniText({{"App", {"App.ARM.CAB", "App.SH3.CAB"}}});
    WriteFileBytes(ini, Bytes(text));
    const auto package = OpenPackage(ini);
    ASSERT_EQ(package->Setups.size(), 2u);
    EXPECT_EQ(package->Setups[0].PathInside, "app.arm.cab");
    EXPECT_EQ(package->Setups[0].Problem, "");
    EXPECT_EQ(package->Setups[0].CabinetPath, dir.File("app.arm.cab"));
    EXPECT_EQ(package->Setups[1].PathInside, "App.SH3.CAB");
    EXPECT_EQ(package->Setups[1].CabinetPath, "");
    EXPECT_EQ(package->Setups[1].Problem, "no cabinet App.SH3.CAB beside App.ini");
    EXPECT_EQ(package->Setups[1].Component, "App");
}

// The real setups are no containers; every hostile cabinet of the corpus is survived.
TEST(Package, CorpusCabinetsOpenCleanly) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    for (const std::string& file : CorpusFiles("real")) {
        const bool setup =
            file.find(".cpf") == std::string::npos && file.find("SdkCerts") == std::string::npos;
        EXPECT_TRUE(!setup || !OpenPackage(file)->IsContainer()) << file;
    }
    for (const std::string& file : CorpusFiles("robust")) {
        const auto package = OpenPackage(file);
        for (const TContainedSetup& s : package->Setups)
            EXPECT_EQ(s.CabinetPath.rfind(package->Folder.Path(), 0), 0u) << file;
    }
}
