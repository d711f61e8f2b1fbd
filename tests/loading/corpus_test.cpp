#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "setup/SetupXML.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using Rows = std::vector<std::string>;

// Rows of a table as upper-cased text, sorted: the two descriptors need not agree on order.
template <class Table, class Format> Rows Normalised(const Table& table, Format format) {
    Rows rows;
    for (const auto& row : table)
        rows.push_back(UpperCaseAscii(format(row)));
    std::sort(rows.begin(), rows.end());
    return rows;
}

Rows FileRows(const TCESetupBase& s) {
    return Normalised(s.Files, [](const TCEINFFile& f) { return f.Dir + " | " + f.Name; });
}
Rows ShortcutRows(const TCESetupBase& s) {
    return Normalised(s.Shortcuts, [](const TCEINFShortcut& c) {
        return c.Folder + " | " + c.Name + " | " + c.FileName;
    });
}
Rows RegValueRows(const TCESetupBase& s) {
    return Normalised(s.RegValues, [](const TCEINFRegValue& v) {
        return std::to_string(v.Root) + " | " + ExcludeBackslash(v.KeyPath) + " | " + v.Name +
               " | " + std::to_string(v.DataType) + " | " + v.Data;
    });
}

} // namespace

// Real cabinets carrying both descriptors: what the .000 says must be what _setup.xml says.
TEST(DescriptorAgreement, BinaryAndXmlDescriptorsOfRealCabinetsDescribeTheSameSetup) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    for (const char* name : {"App.WM.CAB", "Runtime.HPC_2577.CAB", "Basic.WM.CAB"}) {
        SCOPED_TRACE(name);
        const std::string path = RealCabinet(name);
        TCABFile cab;
        TCESetup binary;
        binary.Cabinet = &cab;
        ASSERT_TRUE(binary.IsSetupCabinet(path));
        ASSERT_TRUE(binary.LoadSetup(path, "", false));
        ASSERT_EQ(binary.Format, kFormatBinary);

        TCABFile xmlCab;
        xmlCab.CABFile = path;
        TSetupXML xml;
        xml.Cabinet = &xmlCab;
        ASSERT_TRUE(xml.LoadDescriptor());

        ASSERT_GT(binary.FileCount(), 0);
        EXPECT_EQ(FileRows(binary), FileRows(xml));
        EXPECT_EQ(ShortcutRows(binary), ShortcutRows(xml));
        EXPECT_EQ(RegValueRows(binary), RegValueRows(xml));
        if (std::string(name) == "App.WM.CAB") {
            EXPECT_EQ(xml.RegValueCount(), 29);
            EXPECT_EQ(xml.ShortcutCount(), 1);
        }
    }
}
