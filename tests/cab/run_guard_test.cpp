// A run of the cabinet library that ends in an exception part way (here: memory running out at
// every allocation in turn) leaves the thread able to run the library again, and a second
// cabinet object on the same thread is not refused as if a run were still going.
#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

// The system cabinet library of the Windows build cannot take an exception through its own
// frames, and its callbacks convert paths through allocations: only libmspack's are tried.
// ThreadSanitizer's runtime replaces operator new itself, so its build leaves this test out.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSARY_THREAD_SANITIZED 1
#endif
#endif
#if !defined(_WIN32) && !defined(TESSARY_THREAD_SANITIZED) && !defined(__SANITIZE_THREAD__)

namespace {
// Allocations on this thread left before one fails; negative: none fails.
thread_local long gAllocationsLeft = -1;
} // namespace

// Replaced for this test program only; the failure is armed on one thread around one call.
void* operator new(std::size_t size) {
    if (gAllocationsLeft == 0) {
        gAllocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (gAllocationsLeft > 0) --gAllocationsLeft;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {
TEST(RunGuard, AnyFailedAllocationLeavesTheThreadAbleToRunAgain) {
    TempDir dir;
    const std::string path = dir.File("three.cab");
    WriteCabinet(path,
                 {{"a.txt", Bytes("alpha")}, {"sub\\b.txt", Bytes("beta")}, {"c.txt", Bytes("c")}},
                 FixtureCompression::MSZIP);
    int failures = 0;
    for (long at = 0;; ++at) {
        TCABFile cabinet;
        cabinet.CABFile = path;
        bool failed = false;
        gAllocationsLeft = at;
        try {
            cabinet.ListContents();
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        const bool reached = gAllocationsLeft != -1 || failed;
        gAllocationsLeft = -1;
        if (failed) ++failures;
        // Another object on the same thread lists the whole cabinet afterwards.
        TCABFile again;
        again.CABFile = path;
        again.ListContents();
        ASSERT_EQ(again.CABFileContents.Count(), 3) << "after failing allocation " << at;
        EXPECT_EQ(again.CABFileContents.Item(1).Name, "sub\\b.txt");
        if (!reached || at > 10000) break;
    }
    // The run allocates, so some failures were met on the way.
    EXPECT_GT(failures, 0);
}

TEST(RunGuard, FailedAllocationDuringExtractionLeavesNothingActive) {
    TempDir dir;
    const std::string path = dir.File("one.cab");
    WriteCabinet(path, {{"a.txt", Bytes("alpha")}}, FixtureCompression::MSZIP);
    for (long at = 0; at < 200; ++at) {
        TCABFile cabinet;
        cabinet.CABFile = path;
        cabinet.ListContents();
        TMemoryStream stream;
        gAllocationsLeft = at;
        try {
            (void)cabinet.ExtractToStream(stream, "a.txt");
        } catch (const std::bad_alloc&) {
        }
        gAllocationsLeft = -1;
        TMemoryStream whole;
        ASSERT_TRUE(cabinet.ExtractToStream(whole, "a.txt")) << "after failing allocation " << at;
        EXPECT_EQ(whole.Size(), 5);
    }
}
} // namespace
#endif
