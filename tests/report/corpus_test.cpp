// The pages of the real cabinets: every row where the model puts it.
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "setup/SetupFuncs.h"
#include "tests/report/ReportFixtures.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <map>

TEST(ReportCorpus, EveryFileAndValueOfTheRealSetupsHasItsRow) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    for (const std::string& path : CorpusFiles("real")) {
        SCOPED_TRACE(path);
        LoadedSetup loaded(path);
        ASSERT_NE(loaded.Setup.Format, kFormatNone);
        const TPage files = BuildFilesPage(loaded.Setup, loaded.Listing());
        ASSERT_EQ(files.Rows.size(), loaded.Setup.Files.size());
        std::vector<bool> seen(files.Rows.size());
        for (const TRow& row : files.Rows)
            seen.at(row.Source) = true;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<long>(seen.size()));

        // Each value is listed once, under the node whose path is its own key path.
        const TRegistryPages registry = BuildRegistryPages(loaded.Setup);
        ASSERT_EQ(registry.Values.Rows.size(), loaded.Setup.RegValues.size());
        size_t listed = 0;
        for (size_t n = 0; n < registry.Keys.Nodes.size(); ++n)
            for (const size_t r : registry.Keys.Nodes[n].Rows) {
                ++listed;
                EXPECT_EQ(registry.Values.Rows[r].Node, n);
                EXPECT_TRUE(SameTextAscii(RegistryNodePath(registry.Keys, n),
                                          IncludeBackslash(registry.Values.Rows[r].Cells[0].Text)))
                    << RegistryNodePath(registry.Keys, n);
            }
        EXPECT_EQ(listed, registry.Values.Rows.size());
    }
}

TEST(ReportCorpus, UshahidisResourcesShowTheSizeOfTheirOwnFolder) {
    const std::string path = RealCabinet("Ushahidi.CAB");
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    LoadedSetup loaded(path);
    const TPage files = BuildFilesPage(loaded.Setup, loaded.Listing());
    std::map<std::string, int64_t> sizes;
    for (const TRow& row : files.Rows)
        if (row.Cells[0].Text == "Ushahidi.Model.resources.dll")
            sizes[row.Cells[1].Text] = std::get<int64_t>(*FindField(row.Record, "Size"));
    const std::map<std::string, int64_t> expected = {
        {"%InstallDir%\\de\\", 9664},  {"%InstallDir%\\en\\", 9664},  {"%InstallDir%\\es\\", 10176},
        {"%InstallDir%\\fr\\", 10176}, {"%InstallDir%\\it\\", 10176}, {"%InstallDir%\\nl\\", 9664},
        {"%InstallDir%\\pl\\", 9664},  {"%InstallDir%\\pt\\", 9664}};
    EXPECT_EQ(sizes, expected);
}
