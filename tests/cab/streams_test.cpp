#include "cab/Errors.h"
#include "cab/Streams.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

TEST(MemoryStream, WritesPastTheEndGrowAndSeeksAreBounded) {
    TMemoryStream s;
    EXPECT_EQ(s.Write("abc", 3), 3);
    EXPECT_EQ(s.Seek(5, TSeekOrigin::Beginning), 5);
    EXPECT_EQ(s.Write("z", 1), 1);
    EXPECT_EQ(s.Size(), 6);
    EXPECT_EQ(s.Data()[3], 0);
    EXPECT_EQ(s.Seek(-1, TSeekOrigin::Beginning), -1);
    EXPECT_EQ(s.Seek(-2, TSeekOrigin::End), 4);
    char buf[8];
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(s.Read(buf, 8), 0);
}

TEST(FileStream, ReadsAFileAndRefusesAMissingOne) {
    TempDir dir;
    WriteFileBytes(dir.File("f"), Bytes("hello"));
    TFileStream f(dir.File("f"));
    EXPECT_EQ(f.Size(), 5);
    EXPECT_EQ(ReadWholeStream(f), Bytes("hello"));
    EXPECT_THROW(TFileStream(dir.File("missing")), EStreamError);
}
