// Reports of the cabinet reader belong to whoever runs the command on that thread: two threads
// failing extractions at once each get every one of their own reports and none of the other's.
#include "cab/Diagnostics.h"
#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Extracts into a folder below a regular file, `runs` times: every run fails to open its
// target and reports why.
void FailExtractions(const std::string& cabinet, const std::string& blocked, int runs,
                     TDiagnostics& diagnostics, int& failed) {
    const TDiagnosticsScope scope(diagnostics);
    for (int i = 0; i < runs; ++i) {
        TCABFile cab;
        cab.CABFile = cabinet;
        cab.TargetPath = blocked + kPathSeparator + "sub";
        if (!cab.ExtractEntry("a.txt", "a.txt")) ++failed;
    }
}

TEST(Diagnostics, TwoThreadsEachKeepEveryReportOfTheirOwn) {
    TempDir dir;
    const std::string cabinet = dir.File("one.cab");
    WriteCabinet(cabinet, {{"a.txt", Bytes("alpha")}}, FixtureCompression::MSZIP);
    const std::string fileA = dir.File("plainA");
    const std::string fileB = dir.File("plainB");
    WriteFileBytes(fileA, Bytes("x"));
    WriteFileBytes(fileB, Bytes("y"));
    constexpr int kRuns = 200;
    TDiagnostics a, b;
    int failedA = 0, failedB = 0;
    std::thread other([&] { FailExtractions(cabinet, fileB, kRuns, b, failedB); });
    FailExtractions(cabinet, fileA, kRuns, a, failedA);
    other.join();
    EXPECT_EQ(failedA, kRuns);
    EXPECT_EQ(failedB, kRuns);
    const std::vector<TDiagnostic> reportsA = a.Take();
    const std::vector<TDiagnostic> reportsB = b.Take();
    ASSERT_EQ(reportsA.size(), size_t(kRuns));
    ASSERT_EQ(reportsB.size(), size_t(kRuns));
    for (const TDiagnostic& report : reportsA) {
        EXPECT_EQ(report.Caption, "Error");
        EXPECT_FALSE(report.Text.empty());
    }
    EXPECT_EQ(a.Count(), 0u) << "taken reports are kept no longer";
}

// A thread with nothing bound does not reach another thread's diagnostics, and a scope that
// ends out of order leaves the other bound.
TEST(Diagnostics, ScopesBindPerThreadAndEndInAnyOrder) {
    TDiagnostics outer, first, second;
    const TDiagnosticsScope outerScope(outer);
    std::thread([] { ReportError("Error", "unbound thread, standard error"); }).join();
    {
        auto firstScope = std::make_unique<TDiagnosticsScope>(first);
        const TDiagnosticsScope secondScope(second);
        firstScope.reset();
        ReportError("Error", "to the second");
    }
    ReportError("Error", "to the outer");
    EXPECT_EQ(first.Count(), 0u);
    ASSERT_EQ(second.Count(), 1u);
    EXPECT_EQ(second.Take()[0].Text, "to the second");
    const std::vector<TDiagnostic> kept = outer.Take();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].Text, "to the outer");
}

} // namespace
