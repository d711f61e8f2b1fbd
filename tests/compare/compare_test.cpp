// Two setups compared: each kind of difference on fixture pairs, case and duplicates, a cabinet
// against itself, broken second cabinets and the real pair of one maker's setups.
#include "compare/Comparison.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#ifndef _WIN32
#include "tests/support/CabinetSigner.h"
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>

#include <functional>

namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct FileSpec {
    std::string Folder; // empty: the install directory
    std::string Name;
    std::vector<uint8_t> Data;
};
struct RegSpec {
    std::string Key;
    std::string Name;
    std::string Text;
    bool Number = false;
};
struct SetupSpec {
    std::string App = "Demo";
    std::vector<FileSpec> Files;
    std::vector<std::pair<std::string, size_t>> Shortcuts; // title, file
    std::vector<RegSpec> Registry;                         // below HKEY_LOCAL_MACHINE
};

std::vector<uint8_t> Program(uint16_t machine, uint16_t build) {
    PEPlan plan;
    plan.Machine = machine;
    plan.Version = PEVersionPlan{};
    plan.Version->File[3] = build;
    return BuildPEImage(plan);
}

SetupSpec Base() {
    SetupSpec s;
    s.Files = {{"", "Demo.exe", Program(0x01c0, 4)},
               {"%CE1%\\Demo\\Data", "Data.txt", Bytes("hello")},
               {"", "Help.htm", Bytes("<html>")}};
    s.Shortcuts = {{"Demo", 0}};
    s.Registry = {{"Software\\Demo", "Path", "\\Program Files\\Demo"},
                  {"Software\\Demo", "Count", "3", true}};
    return s;
}

std::string Write(const TempDir& dir, const std::string& name, const SetupSpec& s) {
    DescriptorBuilder b(s.App, "Maker", "%CE1%\\Demo");
    SetupCabinetContents contents;
    std::vector<uint16_t> ids;
    for (const FileSpec& f : s.Files) {
        ids.push_back(b.File(f.Folder.empty() ? 1 : b.Dir(f.Folder), f.Name));
        contents.FileData[ids.back()] = f.Data;
    }
    for (const auto& [title, file] : s.Shortcuts)
        b.Shortcut(title, ids.at(file));
    for (const RegSpec& r : s.Registry) {
        const uint16_t key = b.RegKey(3, r.Key);
        if (r.Number)
            b.RegNumber(key, r.Name, static_cast<uint32_t>(std::stoul(r.Text)));
        else
            b.RegString(key, r.Name, r.Text);
    }
    const std::string path = dir.File(name);
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

TSetupFacts Facts(const std::string& path) {
    TSetupFacts facts;
    const TFactsResult read = ReadSetupFacts(path, facts);
    EXPECT_EQ(read.Status, TFactsStatus::Read) << read.Message;
    return facts;
}

// Every row as "Page|cell|cell...", in the comparison's order.
std::vector<std::string> Rows(const TComparison& c) {
    std::vector<std::string> rows;
    for (const TPage& page : c.Pages)
        for (const TRow& row : page.Rows) {
            std::string text = page.Caption;
            for (const TCell& cell : row.Cells)
                text += "|" + cell.Text;
            rows.push_back(text);
        }
    return rows;
}

struct Case {
    const char* Name;
    std::function<void(SetupSpec&)> Older, Newer;
    std::vector<std::string> Expected;
};

const auto kSame = [](SetupSpec&) {};

TEST(Compare, EachKindOfDifferenceCaseAndDuplicates) {
    // The descriptor's %CE1%\Demo is the install directory; %CE2% is shown as %WinDir%.
    const std::string data = "%InstallDir%\\Data\\";
    const std::string install = "%InstallDir%\\";
    const std::vector<Case> cases = {
        {"case only",
         kSame,
         [](SetupSpec& s) {
             s.Files[1] = {"%ce1%\\DEMO\\data", "DATA.TXT", Bytes("hello")};
             s.Shortcuts[0].first = "DEMO";
             s.Registry[0].Key = "SOFTWARE\\demo";
             s.Registry[1].Name = "COUNT";
         },
         {}},
        {"content",
         kSame,
         [](SetupSpec& s) { s.Files[1].Data = Bytes("jello"); },
         {"Files|Changed|Data.txt|" + data + "|5|5|Content"}},
        {"size",
         kSame,
         [](SetupSpec& s) { s.Files[1].Data = Bytes("hello!"); },
         {"Files|Changed|Data.txt|" + data + "|5|6|Size, Content"}},
        {"version and CPU",
         kSame,
         [](SetupSpec& s) { s.Files[0].Data = Program(0x01a6, 5); },
         {"Files|Changed|Demo.exe|" + install + "|1024|1024|Content, Version, CPU"}},
        {"file added, removed and moved",
         kSame,
         [](SetupSpec& s) {
             s.Files[2] = {"", "Readme.txt", Bytes("read me")};
             s.Files[1].Folder = "%CE2%";
         },
         {"Files|Removed|Help.htm|" + install + "|6||",
          "Files|Added|Readme.txt|" + install + "||7|", "Files|Removed|Data.txt|" + data + "|5||",
          "Files|Added|Data.txt|%WinDir%\\||5|"}},
        {"shortcut and property",
         kSame,
         [](SetupSpec& s) {
             s.App = "Demo Pro";
             s.Shortcuts[0].first = "Demo Pro";
         },
         {"Properties|Changed|Software Name|Demo|Demo Pro",
          "Shortcuts|Removed|Demo|Demo.exe|%ProgramFilesDir%\\Demo\\",
          "Shortcuts|Added|Demo Pro|Demo.exe|%ProgramFilesDir%\\Demo\\"}},
        {"registry values",
         kSame,
         [](SetupSpec& s) {
             s.Registry[0].Text = "\\Storage\\Demo";
             s.Registry[1] = {"Software\\Demo", "Count", "3"};
             s.Registry.push_back({"Software\\Demo\\Sub", "Mode", "fast"});
         },
         {"Registry Values|Changed|HKEY_LOCAL_MACHINE\\Software\\Demo|Count|REG_DWORD|3|REG_SZ|3",
          "Registry Values|Changed|HKEY_LOCAL_MACHINE\\Software\\Demo|Path|REG_SZ|"
          "\\Program Files\\Demo|REG_SZ|\\Storage\\Demo",
          "Registry Values|Added|HKEY_LOCAL_MACHINE\\Software\\Demo\\Sub|Mode|||REG_SZ|fast"}},
        {"a duplicate only in the older",
         [](SetupSpec& s) {
             s.Files.push_back({"%CE1%\\Demo\\Data", "data.txt", Bytes("bye")});
         },
         kSame,
         {"Files|Removed|data.txt|" + data + "|3||"}},
        {"duplicates on both sides, the second changed",
         [](SetupSpec& s) {
             s.Files.push_back({"%CE1%\\Demo\\Data", "Data.txt", Bytes("a")});
         },
         [](SetupSpec& s) {
             s.Files.push_back({"%CE1%\\Demo\\Data", "Data.txt", Bytes("b")});
             s.Registry.push_back(s.Registry[0]);
         },
         {"Files|Changed|Data.txt|" + data + "|1|1|Content",
          "Registry Values|Added|HKEY_LOCAL_MACHINE\\Software\\Demo|Path|||REG_SZ|"
          "\\Program Files\\Demo"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SetupSpec older = Base(), newer = Base();
        c.Older(older);
        c.Newer(newer);
        const TComparison comparison =
            CompareSetups(Facts(Write(dir, "old.cab", older)), Facts(Write(dir, "new.cab", newer)));
        EXPECT_THAT(Rows(comparison), ElementsAreArray(c.Expected));
        EXPECT_EQ(comparison.Same(), c.Expected.empty());
    }
}

TEST(Compare, CabinetAgainstItselfHasNoDifferences) {
    TempDir dir;
    const std::string path = Write(dir, "setup.cab", Base());
    const TComparison comparison = CompareSetups(Facts(path), Facts(path));
    EXPECT_TRUE(comparison.Same());
    EXPECT_EQ(comparison.Pages.size(), 6u);
    EXPECT_EQ(ComparisonSummary(comparison), "no differences");
}

TEST(Compare, TreeForAWindowHasANodePerPageAndPerDifference) {
    TempDir dir;
    SetupSpec newer = Base();
    newer.Registry[0].Text = "\\Storage";
    newer.Files.pop_back();
    const std::string path = Write(dir, "old.cab", Base());
    const TComparisonTree tree =
        BuildComparisonTree(CompareSetups(Facts(path), Facts(Write(dir, "new.cab", newer))));
    std::vector<std::string> shown;
    for (const TTreeNode& node : tree.Tree.Nodes) {
        const TRow& row = tree.Rows.Rows.at(node.Rows.at(0));
        shown.push_back(std::string(node.Parent == kNoNode ? "" : "  ") + row.Cells[0].Text + "|" +
                        row.Cells[1].Text + "|" + row.Cells[2].Text + "|" + row.Cells[3].Text +
                        "|" + row.Cells[4].Text);
    }
    EXPECT_THAT(shown, ElementsAreArray(std::vector<std::string>{
                           "Files (1)||||", "  Help.htm, %InstallDir%\\|Removed|6||",
                           "Registry Values (1)||||",
                           "  HKEY_LOCAL_MACHINE\\Software\\Demo, Path|Changed|REG_SZ: "
                           "\\Program Files\\Demo|REG_SZ: \\Storage|"}));
    EXPECT_EQ(tree.Rows.Rows[1].Cells[0].Icon, TIconKind::Removed);
    EXPECT_EQ(tree.Rows.Rows[3].Cells[0].Icon, TIconKind::Changed);

    const TComparisonTree same = BuildComparisonTree(CompareSetups(Facts(path), Facts(path)));
    ASSERT_EQ(same.Tree.Nodes.size(), 1u);
    EXPECT_EQ(same.Rows.Rows[0].Cells[0].Text, "no differences");
}

TEST(Compare, BrokenCabinetIsNamed) {
    TempDir dir;
    const std::string good = Write(dir, "good.cab", Base());
    std::vector<uint8_t> bytes = ReadFileBytes(good);
    // Cut inside the file bodies: the descriptor still loads, a body cannot be read.
    bytes.resize(bytes.size() - 40);
    WriteFileBytes(dir.File("cut.cab"), bytes);
    WriteFileBytes(dir.File("plain.cab"),
                   BuildCabinet({{"readme.txt", Bytes("no setup")}}, FixtureCompression::None));
    const struct {
        std::string Path;
        TFactsStatus Status;
        const char* Says;
    } cases[] = {{dir.File("missing.cab"), TFactsStatus::Failed, "cannot open"},
                 {dir.File("cut.cab"), TFactsStatus::Failed, ""},
                 {dir.File("plain.cab"), TFactsStatus::NotSetup, "Invalid Windows CE Setup"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        TSetupFacts facts;
        const TFactsResult read = ReadSetupFacts(c.Path, facts);
        EXPECT_EQ(read.Status, c.Status);
        EXPECT_THAT(read.Message, HasSubstr(c.Path));
        EXPECT_THAT(read.Message, HasSubstr(c.Says));
    }
    TSetupFacts facts;
    EXPECT_EQ(ReadSetupFacts(good, facts, [] { return true; }).Status, TFactsStatus::Cancelled);
}

// Both sides are read at once; the answer names the older cabinet's failure first, whichever
// thread met its own first.
TEST(Compare, BothSidesReadTogetherNameTheFailingCabinet) {
    TempDir dir;
    const std::string good = Write(dir, "good.cab", Base());
    const std::string missing = dir.File("missing.cab");
    WriteFileBytes(dir.File("plain.cab"),
                   BuildCabinet({{"readme.txt", Bytes("no setup")}}, FixtureCompression::None));
    const std::string plain = dir.File("plain.cab");
    const struct {
        std::string Older, Newer;
        TFactsStatus Status;
        std::string Named;
    } cases[] = {{good, good, TFactsStatus::Read, ""},
                 {missing, good, TFactsStatus::Failed, missing},
                 {good, missing, TFactsStatus::Failed, missing},
                 {plain, missing, TFactsStatus::NotSetup, plain},
                 {missing, plain, TFactsStatus::Failed, missing}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Older + " against " + c.Newer);
        TSetupFacts facts[2];
        int sidesRead = 0;
        std::mutex lock;
        const TFactsResult read = ReadBothSetupFacts(c.Older, c.Newer, facts, {}, [&] {
            const std::lock_guard<std::mutex> hold(lock);
            ++sidesRead;
        });
        EXPECT_EQ(read.Status, c.Status);
        if (c.Status == TFactsStatus::Read) {
            EXPECT_EQ(sidesRead, 2);
            EXPECT_TRUE(CompareSetups(facts[0], facts[1]).Same());
            EXPECT_EQ(facts[1].Files.size(), 3u);
        } else {
            EXPECT_THAT(read.Message, HasSubstr(c.Named));
        }
        // What the windows and --diff run: the same answer, and the comparison when read.
        const TCabinetComparison run = CompareCabinets(c.Older, c.Newer);
        EXPECT_EQ(run.Result.Status, c.Status);
        EXPECT_EQ(run.Result.Message, read.Message);
        if (c.Status == TFactsStatus::Read) {
            EXPECT_TRUE(run.Comparison.Same());
        }
    }
    TSetupFacts facts[2];
    EXPECT_EQ(ReadBothSetupFacts(good, good, facts, [] { return true; }).Status,
              TFactsStatus::Cancelled);
    EXPECT_EQ(CompareCabinets(good, good, [] { return true; }).Result.Status,
              TFactsStatus::Cancelled);
}

// The bodies are read in the listing's own run; when that run stops at a damaged entry no file
// row names, the rows' bodies are still read and the setup compares as before the damage.
TEST(Compare, DamagedEntryNoRowNamesFailsNothing) {
    TempDir dir;
    const auto write = [&](const std::string& name, bool cut) {
        DescriptorBuilder b("Demo", "Maker", "%CE1%\\Demo");
        SetupCabinetContents contents;
        contents.FileData[b.File(1, "a.txt")] = Bytes("first body");
        contents.FileData[b.File(1, "b.txt")] = Bytes("second body");
        // Bytes that do not compress, more than one block's worth: a cut lands in this entry.
        std::vector<uint8_t> noise(100000);
        uint32_t x = 12345;
        for (uint8_t& byte : noise)
            byte = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
        contents.Extra.push_back({"unused.bin", noise});
        const std::string path = dir.File(name);
        WriteSetupCabinet(path, b.Plan(), contents);
        if (cut) {
            std::vector<uint8_t> bytes = ReadFileBytes(path);
            bytes.resize(bytes.size() - 40);
            WriteFileBytes(path, bytes);
        }
        return path;
    };
    const TSetupFacts whole = Facts(write("whole.cab", false));
    const TSetupFacts cut = Facts(write("cut.cab", true));
    ASSERT_EQ(cut.Files.size(), 2u);
    EXPECT_FALSE(cut.Files[1].Sha256.empty());
    EXPECT_TRUE(CompareSetups(whole, cut).Same()) << ComparisonSummary(CompareSetups(whole, cut));
}

#ifndef _WIN32
TEST(Compare, SignatureDifferences) {
    if (!HaveOsslsigncode()) GTEST_SKIP() << "osslsigncode is not installed";
    TempDir dir;
    const std::string plain = Write(dir, "plain.cab", Base());
    const SigningKey key = MakeSigningKey(dir.Path(), "Demo Maker");
    std::string log;
    ASSERT_TRUE(SignCabinet(key, plain, dir.File("signed.cab"), "sha256", 1600000000, log)) << log;
    const TComparison c = CompareSetups(Facts(plain), Facts(dir.File("signed.cab")));
    const TPage& page = c.Pages[kComparePageSignature];
    ASSERT_EQ(page.Rows.size(), 5u);
    EXPECT_THAT(Rows(c)[0], "Signature|Changed|Signature|Not signed|Intact");
    EXPECT_THAT(Rows(c)[1], "Signature|Changed|Signed By||Demo Maker");
    EXPECT_EQ(ChangeOf(page.Rows[4]), TChange::Added);
    EXPECT_THAT(page.Rows[4].Cells[3].Text, HasSubstr("CN=Demo Maker"));
    EXPECT_EQ(c.Added + c.Changed + c.Removed, 5u);
}
#endif

// By hand (extracted bodies hashed, listings and descriptors read side by side): the maker's
// runtime drops the app's own program and shortcut, rebuilds basic.exe and the picture box,
// adds regsvrce.exe and a type library's registry values; vbscript.dll is byte for byte the
// same under another entry name.
TEST(Compare, RealPairOfOneMakersSetups) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const TComparison c =
        CompareSetups(Facts(RealCabinet("App.WM.CAB")), Facts(RealCabinet("Runtime.HPC_2577.CAB")));
    const std::vector<std::string> rows = Rows(c);
    const std::vector<std::string> head(rows.begin(), rows.begin() + 13);
    EXPECT_THAT(head,
                ElementsAreArray(std::vector<std::string>{
                    "Properties|Changed|Software Name|My Great App|Runtime",
                    "Properties|Changed|Company|MyCo|NSB",
                    "Properties|Changed|Min Version|4.2.0|4.0.0",
                    "Properties|Changed|Max Version|100.0.3758096384|100.0.0",
                    "Files|Removed|project1.exe|%InstallDir%\\MyCo\\|8192||",
                    "Files|Changed|basic.exe|%InstallDir%\\nsbasic\\|194560|187904|Size, Content",
                    "Files|Changed|nscepicturebox.ocx|%WinDir%\\|126976|133120|Size, Content",
                    "Files|Added|regsvrce.exe|%WinDir%\\||5120|",
                    "Shortcuts|Removed|My Great App|project1.exe|%ProgramsDir%\\",
                    "Registry Values|Added|HKEY_CLASSES_ROOT\\TypeLib\\{4E130E40-7DBE-11D2-8F23-"
                    "0000F87A4335}|Default|||REG_SZ|0",
                    "Registry Values|Added|HKEY_CLASSES_ROOT\\TypeLib\\{4E130E40-7DBE-11D2-8F23-"
                    "0000F87A4335}\\1.0|(Default)|||REG_SZ|0",
                    "Registry Values|Added|HKEY_CLASSES_ROOT\\TypeLib\\{4E130E40-7DBE-11D2-8F23-"
                    "0000F87A4335}\\1.0\\0|(Default)|||REG_SZ|0",
                    "Registry Values|Added|HKEY_CLASSES_ROOT\\TypeLib\\{4E130E40-7DBE-11D2-8F23-"
                    "0000F87A4335}\\1.0\\0\\win32|(Default)|||REG_SZ|\\windows\\pimtlb.dll",
                }));
    const TRow& basic = c.Pages[kComparePageFiles].Rows[1];
    EXPECT_EQ(std::get<std::string>(*FindField(basic.Record, "oldSha256")),
              "8f9a197ca4bf958baa70477bbab16d8344ade7eb413bd6457739766145679bdb");
    EXPECT_EQ(std::get<std::string>(*FindField(basic.Record, "newSha256")),
              "9883323d6a0f4b846f9b00f9a8ac2385090447a47271a923af80f5a2321070b5");
    EXPECT_TRUE(c.Pages[kComparePageSignature].Rows.empty());
    // Both descriptors are also provisioning documents: the app name and counts among them.
    EXPECT_THAT(rows, ::testing::Contains(HasSubstr("characteristic Install\\parm AppName|MyCo "
                                                    "My Great App|NSB Runtime")));
}

} // namespace
