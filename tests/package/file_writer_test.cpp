#include "package/FileWriter.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<uint8_t> Counting(size_t size, uint8_t start) {
    std::vector<uint8_t> data(size);
    std::iota(data.begin(), data.end(), start);
    return data;
}

} // namespace

// Pieces for two files, interleaved and of every size around the writer's blocks, land whole and
// in order in each file.
TEST(FileWriter, InterleavedPiecesLandInOrderInTheirFiles) {
    TempDir dir;
    TSafeFile a, b;
    ASSERT_TRUE(a.Open(dir.Path(), {}, "a.bin"));
    ASSERT_TRUE(b.Open(dir.Path(), {}, "b.bin"));
    const std::vector<uint8_t> wantA = Counting(5u << 20, 1), wantB = Counting(3u << 20, 7);
    {
        TFileWriter writer;
        size_t atA = 0, atB = 0;
        for (size_t piece = 1; atA < wantA.size() || atB < wantB.size();
             piece = piece * 3 % 70001) {
            const size_t nA = std::min(piece, wantA.size() - atA);
            ASSERT_TRUE(writer.Write(a, wantA.data() + atA, nA));
            atA += nA;
            const size_t nB = std::min(piece * 2, wantB.size() - atB);
            ASSERT_TRUE(writer.Write(b, wantB.data() + atB, nB));
            atB += nB;
        }
        ASSERT_TRUE(writer.Flush());
        EXPECT_EQ(writer.Error(), "");
    }
    ASSERT_TRUE(a.Commit(nullptr));
    ASSERT_TRUE(b.Commit(nullptr));
    EXPECT_EQ(ReadFileBytes(dir.File("a.bin")), wantA);
    EXPECT_EQ(ReadFileBytes(dir.File("b.bin")), wantB);
}

// A file that takes no bytes fails the flush with its reason, and nothing is queued after.
TEST(FileWriter, AFailedWriteIsSaidAndStopsTheRest) {
    TempDir dir;
    TSafeFile closed; // never opened: every write fails
    TSafeFile good;
    ASSERT_TRUE(good.Open(dir.Path(), {}, "good.bin"));
    TFileWriter writer;
    const std::vector<uint8_t> data = Counting(2u << 20, 0);
    (void)writer.Write(closed, data.data(), data.size()); // may be taken before it fails
    EXPECT_FALSE(writer.Flush());
    EXPECT_NE(writer.Error(), "");
    EXPECT_FALSE(writer.Write(good, data.data(), data.size()));
    EXPECT_FALSE(writer.Flush());
}
