// Inno Setup installers are unpacked by innoextract when it is installed. These tests put a
// stand-in of their own first on PATH (a script that behaves as innoextract would, well or
// badly), since no Inno Setup installer can be built here.
#include "package/HelperProgram.h"
#include "package/Package.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/PackageBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

// PATH names the given folder first while it lives, and the system's folders (without any
// innoextract installed there) only when asked: the stand-in's script needs them.
class TPathFirst {
  public:
    TPathFirst(const std::string& folder, bool system) {
        if (const char* path = std::getenv("PATH")) FSaved = path;
        ::setenv("PATH", (folder + (system ? ":/usr/bin:/bin" : "")).c_str(), 1);
    }
    ~TPathFirst() { ::setenv("PATH", FSaved.c_str(), 1); }
    TPathFirst(const TPathFirst&) = delete;
    TPathFirst& operator=(const TPathFirst&) = delete;

  private:
    std::string FSaved;
};

// A stand-in innoextract: records its arguments, finds its --output-dir, then runs body.
void WriteStandIn(const TempDir& dir, const std::string& body) {
    const std::string path = dir.File("bin/innoextract");
    std::filesystem::create_directories(dir.File("bin"));
    std::ofstream(path) << "#!/bin/sh\n"
                        << "printf '%s\\n' \"$@\" > '" << dir.File("arguments") << "'\n"
                        << "out=\n"
                        << "while [ $# -gt 0 ]; do\n"
                        << "  if [ \"$1\" = --output-dir ]; then shift; out=$1; fi\n"
                        << "  shift\n"
                        << "done\n"
                        << body << "\n";
    ::chmod(path.c_str(), 0755);
}

std::string InnoInstaller(const TempDir& dir) {
    std::vector<uint8_t> program = SelfExtractingProgram({}, false);
    const std::vector<uint8_t> marker = Bytes("Inno Setup Setup Data (5.5.7)");
    program.insert(program.end(), marker.begin(), marker.end());
    WriteFileBytes(dir.File("setup.exe"), program);
    return dir.File("setup.exe");
}

} // namespace

TEST(Innoextract, TheCabinetsItUnpacksAreTheInstallersSetups) {
    TempDir dir;
    WriteFileBytes(dir.File("arm.cab"), SmallSetupCabinet("InnoARM"));
    WriteStandIn(dir, "mkdir -p \"$out/app\"\n"
                      "cp '" +
                          dir.File("arm.cab") +
                          "' \"$out/app/App.ARM.CAB\"\n"
                          "echo text > \"$out/app/readme.txt\"\n"
                          "echo MSCF > \"$out/app/short.cab\"");
    const std::string installer = InnoInstaller(dir);
    TPathFirst path(dir.File("bin"), true);
    std::string folder;
    {
        const auto package = OpenPackage(installer);
        EXPECT_EQ(package->Kind, TContainerKind::Installer);
        EXPECT_EQ(package->Error, "");
        ASSERT_EQ(package->Setups.size(), 2u);
        EXPECT_EQ(package->Setups[0].PathInside, "app/App.ARM.CAB");
        EXPECT_EQ(package->Setups[0].Kind, TContainerKind::Installer);
        ASSERT_FALSE(package->Setups[0].CabinetPath.empty());
        EXPECT_EQ(ReadFileBytes(package->Setups[0].CabinetPath), SmallSetupCabinet("InnoARM"));
        folder = std::filesystem::path(package->Setups[0].CabinetPath).parent_path().string();
        EXPECT_TRUE(std::filesystem::exists(folder));
    }
    // Its output went to the package's private folder, which goes with the package.
    EXPECT_FALSE(std::filesystem::exists(folder));
    const std::vector<uint8_t> recorded = ReadFileBytes(dir.File("arguments"));
    const std::string arguments(recorded.begin(), recorded.end());
    EXPECT_NE(arguments.find("--output-dir\n"), std::string::npos) << arguments;
    EXPECT_NE(arguments.find(std::filesystem::absolute(installer).string() + "\n"),
              std::string::npos)
        << arguments;
}

TEST(Innoextract, AHangingFloodingOrFailingUnpackerEndsWithAMessage) {
    const std::string installerText = "an Inno Setup installer";
    struct {
        const char* Body;
        const char* Expected;
    } cases[] = {
        {"exec sleep 30", "took longer than 1 s"},
        {"head -c 3000000 /dev/zero > \"$out/big\"\nexec sleep 30",
         "the package unpacks to more than 1 MiB"},
        {"echo 'Warning: Unexpected setup data version' >&2\n"
         "echo 'Stream error while parsing setup headers!' >&2\nexit 1",
         "an Inno Setup installer that innoextract could not unpack: Stream error while parsing "
         "setup headers!"},
        {"echo nothing > \"$out/readme.txt\"",
         "an Inno Setup installer: innoextract found no cabinets in it"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteStandIn(dir, c.Body);
        const std::string installer = InnoInstaller(dir);
        TPathFirst path(dir.File("bin"), true);
        TPackageBudget budget;
        budget.MaxTime = std::chrono::milliseconds(1000);
        budget.MaxUnpacked = 1 << 20;
        const auto package = OpenPackage(installer, budget);
        EXPECT_EQ(package->Kind, TContainerKind::Installer) << c.Body;
        EXPECT_NE(package->Error.find(c.Expected), std::string::npos)
            << c.Body << ": " << package->Error;
        EXPECT_TRUE(package->Setups.empty()) << c.Body;
    }
}

TEST(Innoextract, WithoutItTheMessageSaysWhatWouldOpenIt) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("bin"));
    const std::string installer = InnoInstaller(dir);
    TPathFirst path(dir.File("bin"), false);
    EXPECT_EQ(FindHelperProgram("innoextract"), "");
    const auto package = OpenPackage(installer);
    EXPECT_EQ(package->Kind, TContainerKind::Installer);
    EXPECT_NE(package->Error.find("install innoextract to open it"), std::string::npos)
        << package->Error;
}
