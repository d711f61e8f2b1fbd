// The Windows side of the cabinet reader: desktop paths, the system's calls and texts, and the
// cabinet.dll backend's guard against files that its library reports complete when they are not.
#include "cab/FileSystem.h"
#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <windows.h>

namespace fs = std::filesystem;

TEST(Win32Paths, BackslashesAndDriveLettersDivideDesktopPaths) {
    EXPECT_EQ(kPathSeparator, '\\');
    EXPECT_EQ(FileNamePart("C:\\Data\\setup.cab"), "setup.cab");
    EXPECT_EQ(FolderPart("C:\\Data\\setup.cab"), "C:\\Data\\");
    EXPECT_EQ(FileNamePart("C:\\Data/setup.cab"), "setup.cab");
    EXPECT_EQ(FileNamePart("C:setup.cab"), "setup.cab");
    EXPECT_EQ(FolderPart("C:setup.cab"), "C:");
    EXPECT_EQ(EntryFolderPart("sub/deeper\\file.txt"), "sub\\deeper\\");
    const std::string full = ExpandFileName("relative.cab");
    ASSERT_GE(full.size(), 3u);
    EXPECT_EQ(full[1], ':') << full;
    EXPECT_EQ(FileNamePart(full), "relative.cab");
}

TEST(Win32Paths, FoldersAreCreatedWithTheirParents) {
    TempDir dir;
    const std::string deep = dir.File("one\\two/three\\");
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(dir.File("one\\two\\three")));
    EXPECT_FALSE(FileExists(dir.File("one")));
    // A file in the way: false at the first folder that cannot be made, the system saying why.
    WriteFileBytes(dir.File("one\\plain.txt"), Bytes("x"));
    EXPECT_FALSE(ForceDirectories(dir.File("one\\plain.txt\\below")));
    EXPECT_FALSE(LastSystemErrorText().empty());
}

TEST(Win32Files, FailedCreationGivesTheSystemsTextWithoutALineBreak) {
    TempDir dir;
    EXPECT_EQ(CreateFileHandle(dir.File("missing\\x.txt")), -1);
    const std::string text = LastSystemErrorText();
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_EQ(text.find("System error"), std::string::npos) << text;
}

TEST(Win32Files, LastWriteTimeIsTakenAsLocalTime) {
    TempDir dir;
    const std::intptr_t hf = CreateFileHandle(dir.File("t.txt"));
    ASSERT_NE(hf, -1);
    EXPECT_GT(hf, 2) << "handles never collide with the stream's pseudo handle";
    ASSERT_TRUE(SetFileHandleTime(hf, TDateTime{2020, 5, 17, 13, 45, 30}));
    FILETIME utc, local;
    ASSERT_TRUE(GetFileTime(reinterpret_cast<HANDLE>(hf), nullptr, nullptr, &utc));
    ASSERT_EQ(CloseFileHandle(hf), 0);
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    EXPECT_EQ(st.wYear, 2020);
    EXPECT_EQ(st.wMonth, 5);
    EXPECT_EQ(st.wDay, 17);
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 45);
    EXPECT_EQ(st.wSecond, 30);
}

// The system library calls close-file-info even for a file whose data ran out; such a file must
// be reported as failed and not left behind half-written.
TEST(CabinetDll, TruncatedCabinetLeavesNoPartialFile) {
    const std::string source = RealCabinet("App.WM.CAB");
    if (!fs::exists(source)) GTEST_SKIP() << "corpus missing";
    TCABFile cab;
    cab.CABFile = source;
    cab.ListContents();
    ASSERT_GT(cab.CABFileContents.Count(), 1);
    const TCABFileEntry last = cab.CABFileContents.Item(cab.CABFileContents.Count() - 1);

    TempDir dir;
    std::vector<uint8_t> bytes = ReadFileBytes(source);
    bytes.resize(bytes.size() * 3 / 4);
    WriteFileBytes(dir.File("cut.cab"), bytes);
    cab.CABFile = dir.File("cut.cab");
    cab.TargetPath = dir.File("out");
    EXPECT_FALSE(cab.ExtractEntry(last.Name, "last.bin"));
    EXPECT_FALSE(fs::exists(dir.File("out\\last.bin")));
    TMemoryStream stream;
    EXPECT_FALSE(cab.ExtractToStream(stream, last.Name));
}

// A part of a cabinet set asks for the next part; the run ends instead of asking for ever.
TEST(CabinetDll, SpannedCabinetEndsWithoutTheNextPart) {
    const std::string part = CorpusDir() + "/robust/libmspack/multi_basic_pt1.cab";
    if (!fs::exists(part)) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    WriteFileBytes(dir.File("pt1.cab"), ReadFileBytes(part));
    TCABFile cab;
    cab.CABFile = dir.File("pt1.cab");
    cab.ListContents();
    ASSERT_GT(cab.CABFileContents.Count(), 0);
    const std::string name = cab.CABFileContents.Item(cab.CABFileContents.Count() - 1).Name;
    TMemoryStream stream;
    EXPECT_FALSE(cab.ExtractToStream(stream, name));
}

TEST(Win32EntryNames, DeviceNamesAndStreamsAreRefused) {
    EXPECT_FALSE(IsSafeEntryName("CON"));
    EXPECT_FALSE(IsSafeEntryName("nul.txt"));
    EXPECT_FALSE(IsSafeEntryName("sub\\com1.log"));
    EXPECT_FALSE(IsSafeEntryName("LPT9"));
    EXPECT_FALSE(IsSafeEntryName("file.txt:stream"));
    EXPECT_TRUE(IsSafeEntryName("console.txt"));
    EXPECT_TRUE(IsSafeEntryName("com10.txt"));
    EXPECT_TRUE(IsSafeEntryName("sub\\connect.dat"));
}
