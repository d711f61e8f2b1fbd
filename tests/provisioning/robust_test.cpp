// Hostile documents: cut at every byte, absurdly deep, wide or long. Each gives a tree with
// notes, in time and memory linear in its size.
#include "tests/provisioning/ProvisioningSupport.h"

#include "provisioning/Rows.h"

#include <gtest/gtest.h>

using namespace provisioning;

namespace {

const std::string kSample =
    "<?xml version=\"1.0\"?><wap-provisioningdoc><characteristic type=\"SecurityPolicy\">"
    "<parm name=\"4102\" value=\"1\"/><parm-query name=\"4097\"/></characteristic>"
    "<characteristic type=\"CertificateStore\"><characteristic type=\"ROOT\">"
    "<characteristic type=\"00\"><parm name=\"EncodedCertificate\" value=\"MIIBAAAA\nAAAA\"/>"
    "</characteristic></characteristic></characteristic><nocharacteristic type=\"Sync\"/>"
    "<characteristic type=\"Carrier\"><parm name=\"Doc\" value=\"&lt;wap-provisioningdoc&gt;"
    "&lt;parm name='x'/&gt;&lt;/wap-provisioningdoc&gt;\"/></characteristic>"
    "</wap-provisioningdoc>";

size_t Notes(const TProvisioningTree& tree) {
    size_t notes = 0;
    for (const TNode& node : tree.Nodes)
        notes += !node.Note.empty();
    return notes;
}

} // namespace

// Every cut of a valid document reads cleanly into a well-formed tree that says something is
// missing: the outer document is never closed.
TEST(ProvisioningTruncation, EveryPrefixReadsWithANote) {
    const TProvisioningTree whole = ReadProvisioning(kSample);
    ASSERT_EQ(Notes(whole), 0u);
    for (size_t cut = 0; cut < kSample.size(); ++cut) {
        TProvisioningTree tree = ReadProvisioning(std::string_view(kSample).substr(0, cut));
        DecodeCertificates(tree);
        ASSERT_TRUE(WellFormed(tree)) << cut;
        ASSERT_LE(tree.Nodes.size(), whole.Nodes.size()) << cut;
        (void)ProvisioningRows(tree);
        // Before the outer document's first tag there is nothing to note.
        if (cut > kSample.find("<wap-provisioningdoc>")) {
            ASSERT_GE(Notes(tree), 1u) << cut;
        }
    }
}

// A hundred thousand nested characteristics, closed and unclosed, without recursion.
TEST(ProvisioningHostile, HundredThousandNestedCharacteristics) {
    const size_t levels = kMaxNodes - 2; // the root and the parm make it the most read
    const std::string open = Repeat("<characteristic type=\"x\">", levels);
    const TProvisioningTree closed =
        ReadProvisioning(open + "<parm name=\"p\"/>" + Repeat("</characteristic>", levels));
    ASSERT_EQ(closed.Nodes.size(), levels + 2);
    EXPECT_EQ(closed.Nodes.back().Depth, levels + 1);
    EXPECT_EQ(Notes(closed), 0u);
    EXPECT_TRUE(WellFormed(closed));

    const TProvisioningTree unclosed = ReadProvisioning(open + Repeat("</other>", levels));
    EXPECT_EQ(unclosed.Nodes.size(), levels + 1);
    EXPECT_TRUE(WellFormed(unclosed));
    EXPECT_EQ(Notes(unclosed), levels);
    // The stray closing tags all land on the innermost node, whose note stops growing.
    EXPECT_LT(unclosed.Nodes.back().Note.size(), 1000u);
    EXPECT_EQ(ProvisioningRows(unclosed).size(), levels);
}

// A million small parms (a few hundred kilobytes compressed): read to the limit, the rest left
// with a note on the root, the tree whole.
TEST(ProvisioningHostile, MoreElementsThanTheLimitAreLeftOutWithANote) {
    const TProvisioningTree tree =
        ReadProvisioning("<wap-provisioningdoc><characteristic type=\"A\">" +
                         Repeat("<parm name=\"EncodedCertificate\" value=\"A\"/>", 1000000) +
                         "</characteristic><parm name=\"Last\"/></wap-provisioningdoc>");
    ASSERT_EQ(tree.Nodes.size(), kMaxNodes);
    EXPECT_EQ(tree.Nodes[0].Note,
              "the document holds more than 100000 elements; the rest are not read");
    EXPECT_EQ(Notes(tree), 1u);
    EXPECT_TRUE(WellFormed(tree));
    EXPECT_NE(tree.Nodes.back().Name, "Last");
}

// Thousands of attributes on one tag, nameless and repeated ones among them: all kept, one
// note, no quadratic work.
TEST(ProvisioningHostile, ThousandsOfAttributesOnOneTag) {
    const size_t count = 20000;
    std::string tag = "<characteristic type=\"T\"";
    for (size_t i = 0; i < count; ++i)
        tag += " a" + std::to_string(i) + "=\"v\" type=\"dup\" =\"nameless\"";
    const TProvisioningTree tree = ReadProvisioning(tag + "/>");
    ASSERT_EQ(tree.Nodes.size(), 2u);
    const TNode& node = tree.Nodes[1];
    EXPECT_EQ(node.Name, "T");
    EXPECT_EQ(node.Attributes.size(), 2 * count);
    EXPECT_NE(node.Note.find(std::to_string(count) + " attribute(s) without a name left out"),
              std::string::npos)
        << node.Note;
    EXPECT_NE(node.Note.find("written more than once (the first counts): type"), std::string::npos);
    EXPECT_LT(node.Note.size(), 1000u);
}

// A 10 MB value is kept whole; text nodes, comments and other tags around it change nothing.
TEST(ProvisioningHostile, TenMegabyteValue) {
    const std::string value(10 << 20, 'v');
    const TProvisioningTree tree = ReadProvisioning(
        "<characteristic type=\"Big\"><!-- x --> text <other/><parm name=\"Big\" value=\"" + value +
        "\"/></characteristic>");
    const TNode* parm = FindNode(tree, TNodeKind::Parm, "Big");
    ASSERT_NE(parm, nullptr);
    EXPECT_EQ(parm->Value.size(), value.size());
    EXPECT_EQ(tree.Nodes.size(), 4u); // the characteristic, the other tag, the parm
    EXPECT_EQ(Notes(tree), 0u);
}

// Bytes that are not markup at all still give a root and nothing else.
TEST(ProvisioningHostile, NotMarkup) {
    for (const std::string& text : {std::string(), std::string("plain text"),
                                    std::string("\0\0<\0", 4), std::string("<>< >")}) {
        const TProvisioningTree tree = ReadProvisioning(text);
        EXPECT_TRUE(WellFormed(tree));
        EXPECT_EQ(tree.Nodes.size(), 1u);
    }
}

// A megabyte tag name closing fifty thousand open tags, and certificates at the bottom of a
// hundred thousand levels: notes and store paths quote names and paths only in part.
TEST(ProvisioningHostile, LongNamesAndDeepCertificatesStayLinear) {
    const std::string longName(1 << 20, 'n');
    const TProvisioningTree named =
        ReadProvisioning("<" + longName + ">" + Repeat("<b>", 50000) + "</" + longName + ">");
    ASSERT_EQ(named.Nodes.size(), 50002u);
    EXPECT_EQ(named.Nodes.back().Note, "not closed: ended by </" + std::string(64, 'n') + "...>");
    EXPECT_EQ(named.Nodes[1].Note, "");

    TProvisioningTree deep =
        ReadProvisioning(Repeat("<characteristic type=\"" + std::string(1000, 's') + "\">", 20000) +
                         Repeat("<parm name=\"EncodedCertificate\"/>", 20000));
    DecodeCertificates(deep);
    ASSERT_EQ(deep.Certificates.size(), 20000u);
    const TCertificateInfo& c = deep.Certificates.back();
    EXPECT_EQ(c.Store.rfind("... / ", 0), 0u);
    EXPECT_LT(c.Store.size(), 8 * 300u);
    EXPECT_EQ(c.StoredUnder, std::string(256, 's') + "...");
    EXPECT_EQ(c.Note, "not base64: the value is empty");
}
