// Whole files or nothing: the temporary file beside the target, renamed into place when done.
#include "cab/FileSystem.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    for (const auto& item : fs::directory_iterator(folder))
        count += item.is_regular_file() ? 1 : 0;
    return count;
}

} // namespace

TEST(WriteFileSafely, WritesAndReplacesWholeFilesLeavingNothingElse) {
    TempDir dir;
    const std::string path = dir.File("out.reg");
    ASSERT_TRUE(WriteFileSafely(path, "first, longer text").Ok);
    const TWriteResult again = WriteFileSafely(path, "second");
    ASSERT_TRUE(again.Ok) << again.Message;
    EXPECT_EQ(ReadFileBytes(path), Bytes("second"));
    EXPECT_EQ(FilesIn(dir.Path()), 1u) << "no temporary file stays behind";
    ASSERT_TRUE(WriteFileSafely(dir.File("empty"), "").Ok);
    EXPECT_TRUE(ReadFileBytes(dir.File("empty")).empty());
}

TEST(WriteFileSafely, AnUnwritablePathGivesAMessageNamingItAndLeavesNoFile) {
    TempDir dir;
    WriteFileBytes(dir.File("plain"), Bytes("x"));
    fs::create_directory(dir.File("folder"));
    for (const std::string& path :
         {dir.File("missing") + kPathSeparator + "out.reg",
          dir.File("plain") + kPathSeparator + "out.reg", dir.File("folder"), std::string()}) {
        SCOPED_TRACE(path);
        const TWriteResult result = WriteFileSafely(path, "text");
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(result.Message.rfind("Cannot write " + path + ": ", 0), 0u) << result.Message;
        EXPECT_GT(result.Message.size(), ("Cannot write " + path + ": ").size());
    }
    EXPECT_FALSE(fs::exists(dir.File("missing")));
    EXPECT_TRUE(fs::is_directory(dir.File("folder")));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
    EXPECT_EQ(ReadFileBytes(dir.File("plain")), Bytes("x"));
}

#ifndef _WIN32
// A write that stops part way (here a file size limit, as a full disk would) keeps the old file
// whole and removes the partial one.
TEST(WriteFileSafely, AWriteThatFailsPartWayKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.File("out.reg");
    WriteFileBytes(path, Bytes("old"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const TWriteResult result = WriteFileSafely(path, std::string(100000, 'x'));
        _exit(!result.Ok && result.Message.rfind("Cannot write " + path, 0) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFileBytes(path), Bytes("old"));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}
#endif
