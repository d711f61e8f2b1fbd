#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool HaveCabextract() {
    return RunQuietly({"cabextract", "--version"}) == 0;
}

// Every entry, listed and extracted by us, against cabextract's own extraction of the cabinet.
void ExpectSameAsCabextract(const std::string& cabPath) {
    TempDir dir;
    ASSERT_EQ(RunQuietly({"cabextract", "-q", "-d", dir.Path() + "/ref", cabPath}), 0) << cabPath;
    TCABFile cab;
    ASSERT_TRUE(cab.IsCabinet(cabPath));
    cab.CABFile = cabPath;
    cab.ListContents();
    ASSERT_GT(cab.CABFileContents.Count(), 0);
    for (const TCABFileEntry& entry : cab.CABFileContents.Items()) {
        std::string relative = entry.Name;
        for (char& c : relative)
            if (c == '\\') c = '/';
        const std::vector<uint8_t> expected = ReadFileBytes(dir.Path() + "/ref/" + relative);
        TMemoryStream stream;
        ASSERT_TRUE(cab.ExtractToStream(stream, entry.Name)) << entry.Name;
        EXPECT_EQ(stream.Data(), expected) << entry.Name;
        EXPECT_EQ(entry.Size, static_cast<int32_t>(expected.size())) << entry.Name;
        cab.TargetPath = dir.Path() + "/ours";
        ASSERT_TRUE(cab.ExtractEntry(entry.Name, fs::path(relative).filename().string()));
        EXPECT_EQ(ReadFileBytes(dir.Path() + "/ours/" + relative), expected) << entry.Name;
    }
}

} // namespace

TEST(CabinetCorpus, RealCabinetsExtractLikeCabextract) {
    if (!HaveCorpus() || !HaveCabextract()) GTEST_SKIP() << "corpus or cabextract missing";
    for (const std::string& path : CorpusFiles("real")) {
        SCOPED_TRACE(path);
        ExpectSameAsCabextract(path);
    }
}

TEST(CabinetCorpus, MszipLzxAndQuantumFoldersExtractLikeCabextract) {
    const std::string path = CorpusDir() + "/robust/libmspack/mszip_lzx_qtm.cab";
    if (!fs::exists(path) || !HaveCabextract()) GTEST_SKIP() << "corpus or cabextract missing";
    ExpectSameAsCabextract(path);
}

TEST(CabinetCorpus, HostileCabinetsAreSurvivedAndWriteOnlyBelowTheTarget) {
    const std::vector<std::string> files = CorpusFiles("robust");
    if (files.empty()) GTEST_SKIP() << "corpus missing";
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        TempDir root;
        const std::string target = root.File("target");
        TCABFile cab;
        (void)cab.IsCabinet(path);
        cab.CABFile = path;
        try {
            cab.ListContents();
        } catch (const EConvertError&) {
        }
        for (const TCABFileEntry& entry : cab.CABFileContents.Items()) {
            TMemoryStream stream;
            cab.TargetPath = target;
            try {
                (void)cab.ExtractToStream(stream, entry.Name);
                // Size is 32-bit as stored; a hostile header may set the top bit.
                EXPECT_LE(stream.Size(), static_cast<int64_t>(static_cast<uint32_t>(entry.Size)));
                (void)cab.ExtractEntry(entry.Name, "out.bin");
            } catch (const EConvertError&) {
            }
        }
        for (const auto& item : fs::recursive_directory_iterator(root.Path())) {
            const std::string written = item.path().string();
            EXPECT_EQ(written.rfind(target, 0), 0u) << written << " escaped the target";
        }
    }
}
