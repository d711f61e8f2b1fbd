// The Package page of a zip and of a Windows Installer package: a row per setup with the
// processor its descriptor names. Both packages are also kept for the Windows tests, whose
// build reads neither format and must say so.
#include "inspection/PackagePage.h"
#include "package/Package.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/PackageBuilder.h"
#include "tests/windows/FixtureStore.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using TTexts = std::vector<std::vector<std::string>>;

// The page's rows as the windows list them, sorted: an archive's order is its own.
TTexts PageTexts(const TPackage& package) {
    TTexts rows;
    for (const TRow& row : BuildPackagePage(package).Rows) {
        auto& texts = rows.emplace_back();
        for (const TCell& cell : row.Cells)
            texts.push_back(cell.Text);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST(PackagePage, AZipAndAnMsiListEachSetupWithItsProcessor) {
    TempDir dir;
    const std::vector<uint8_t> arm = SmallSetupCabinet("AppARM");
    const std::vector<uint8_t> sh3 = SmallSetupCabinet("AppSH3", 0x01a2);
    const std::string zip = dir.File("apps.zip");
    WriteFileBytes(zip, BuildZip({{"App/App.ARM.CAB", arm},
                                  {"App/App.SH3.CAB", sh3},
                                  {"App/readme.txt", Bytes("not a cabinet")}}));
    const auto zipped = OpenPackage(zip);
    ASSERT_EQ(zipped->Kind, TContainerKind::Zip);
    EXPECT_EQ(zipped->Error, "");
    EXPECT_EQ(PageTexts(*zipped), (TTexts{{"", "StrongARM", "App/App.ARM.CAB", ""},
                                          {"", "StrongARM", "App/App.SH3.CAB", ""}}));
    EXPECT_EQ(PackageStatusText(*zipped), "Setups in package: 2");
    RecordFixtureFile("package-apps.zip", ReadFileBytes(zip));

    const std::string msi = dir.File("apps.msi");
    if (!BuildMsiWithWixl(dir.Path(), msi, {{"App.ARM.CAB", arm}, {"App.SH3.CAB", sh3}}, {}))
        GTEST_SKIP() << "wixl is not installed";
    const auto installer = OpenPackage(msi);
    ASSERT_EQ(installer->Kind, TContainerKind::Msi);
    EXPECT_EQ(installer->Error, "");
    EXPECT_EQ(PageTexts(*installer), (TTexts{{"", "StrongARM", "app.cab/App.ARM.CAB", ""},
                                             {"", "StrongARM", "app.cab/App.SH3.CAB", ""}}));
    RecordFixtureFile("package-apps.msi", ReadFileBytes(msi));
}

} // namespace
