// What one load costs the cabinet reader: one listing and one decompression of the descriptor,
// whichever handler answers; what the same command reads after it through the load's look needs
// no listing, and the next command lists afresh.
#include "audit/Audit.h"
#include "cab/cabfiles.h"
#include "compare/SetupFacts.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"
#include "tests/support/DescriptorWriter.h"

#include <gtest/gtest.h>

namespace {

// Installs a.txt from the entry A.001, as the binary descriptor beside it does.
const char kXmlDescriptor[] =
    "<wap-provisioningdoc><characteristic type=\"Install\">"
    "<parm name=\"AppName\" value=\"Xml\" /></characteristic>"
    "<characteristic type=\"FileOperation\">"
    "<characteristic type=\"%CE1%\\Xml\" translation=\"install\">"
    "<characteristic type=\"a.txt\" translation=\"install\"><characteristic type=\"Extract\">"
    "<parm name=\"Source\" value=\"A.001\" /></characteristic></characteristic>"
    "</characteristic></characteristic></wap-provisioningdoc>";

TCABRunCount Since(const TCABRunCount& before) {
    const TCABRunCount now = CabinetRunCount();
    return {now.Listings - before.Listings, now.Extractions - before.Extractions};
}

} // namespace

TEST(OnePassLoad, ListsOnceAndDecompressesEachDescriptorOnce) {
    struct Case {
        const char* Name;
        bool Binary;
        bool Xml;
        uint8_t Format;
    };
    for (const Case& c :
         {Case{"binary.cab", true, false, kFormatBinary}, Case{"xml.cab", false, true, kFormatXML},
          Case{"both.cab", true, true, kFormatBinary}}) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const std::string path = dir.File(c.Name);
        DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo");
        b.File(1, "a.txt");
        SetupCabinetContents contents;
        if (c.Xml) contents.Extra.push_back({"_setup.xml", Bytes(kXmlDescriptor)});
        std::vector<FixtureEntry> entries = SetupCabinetEntries(b.Plan(), contents);
        if (!c.Binary)
            std::erase_if(entries, [](const FixtureEntry& e) {
                return e.Name.size() > 4 && e.Name.compare(e.Name.size() - 4, 4, ".000") == 0;
            });
        WriteCabinet(path, entries, FixtureCompression::MSZIP);

        TCABFile cab;
        TCESetup setup;
        setup.Cabinet = &cab;
        TCabinetLook look(path);
        TCABRunCount before = CabinetRunCount();
        ASSERT_TRUE(setup.LoadSetup(path, std::string(), false, look));
        TCABRunCount cost = Since(before);
        EXPECT_EQ(cost.Listings, 1u);
        EXPECT_EQ(cost.Extractions, 1u);
        EXPECT_EQ(setup.Format, c.Format);
        ASSERT_EQ(setup.FileCount(), 1);
        // The cabinet holds the load's listing, as when it listed itself.
        EXPECT_EQ(cab.CABFileContents.Count(), static_cast<int>(entries.size()));

        // The provisioning document of the same command: the XML descriptor's bytes are the
        // load's; beside a binary descriptor it is decompressed, but nothing is listed again.
        before = CabinetRunCount();
        provisioning::TProvisioningTree tree;
        EXPECT_EQ(provisioning::ReadCabinetProvisioning(cab, tree, &look), c.Xml);
        cost = Since(before);
        EXPECT_EQ(cost.Listings, 0u);
        EXPECT_EQ(cost.Extractions, c.Xml && c.Binary ? 1u : 0u);

        // So does the audit of the same command, the signature given.
        before = CabinetRunCount();
        (void)AuditCabinet(setup, cab, nullptr, VerifyCabinetSignature(path), &look);
        EXPECT_EQ(Since(before).Listings, 0u);

        // A later command looks afresh.
        before = CabinetRunCount();
        const auto entry = setup.FindCabEntry("a.txt");
        EXPECT_EQ(Since(before).Listings, 1u);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->Name, "A.001");
        before = CabinetRunCount();
        EXPECT_TRUE(setup.LoadSetup(path, std::string(), false));
        EXPECT_EQ(Since(before).Listings, 1u);

        // A reader of every body lists, loads and reads the bodies and the provisioning
        // document in one run.
        before = CabinetRunCount();
        TSetupFacts facts;
        ASSERT_EQ(ReadSetupFacts(path, facts).Status, TFactsStatus::Read);
        cost = Since(before);
        EXPECT_EQ(cost.Listings, 1u);
        EXPECT_EQ(cost.Extractions, 1u);
        ASSERT_EQ(facts.Files.size(), 1u);
        EXPECT_FALSE(facts.Files[0].Sha256.empty());
        EXPECT_EQ(facts.Provisioning.empty(), !c.Xml);
    }
}
