#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

TEST(CabinetSmoke, ListsBuiltCabinet) {
    TempDir dir;
    WriteCabinet(dir.File("a.cab"), {{"one.txt", Bytes("hello")}, {"sub\\two.txt", Bytes("x")}},
                 FixtureCompression::MSZIP);
    TCABFile cab;
    ASSERT_TRUE(cab.IsCabinet(dir.File("a.cab")));
    cab.CABFile = dir.File("a.cab");
    cab.ListContents();
    ASSERT_EQ(cab.CABFileContents.Count(), 2);
    EXPECT_EQ(cab.CABFileContents.Item(1).Name, "sub\\two.txt");
    TMemoryStream s;
    ASSERT_TRUE(cab.ExtractToStream(s, "ONE.TXT"));
    EXPECT_EQ(s.Data(), Bytes("hello"));
}
