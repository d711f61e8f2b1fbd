#include "tests/provisioning/ProvisioningSupport.h"

#include <gtest/gtest.h>

using namespace provisioning;
using K = TNodeKind;

// Characteristics nest, parms sit in them, and everything keeps the document's order.
TEST(ProvisioningTree, NestingAndOrder) {
    const TProvisioningTree tree = ReadProvisioning(
        "<?xml version=\"1.0\"?>\n<!-- c --><wap-provisioningdoc>\n"
        "<characteristic type=\"Registry\"><characteristic type=\"HKLM\\Software\\A\">"
        "<parm name=\"First\" value=\"1\"/><parm name=\"Second\" value=\"2\"/>"
        "</characteristic><characteristic type=\"HKCU\\B\"/></characteristic>"
        "<characteristic type=\"Sync\"><parm name=\"Last\" value=\"3\"/></characteristic>"
        "</wap-provisioningdoc>");
    const std::vector<NodeShape> expected = {{K::Document, 1, ""},
                                             {K::Characteristic, 2, "Registry"},
                                             {K::Characteristic, 3, "HKLM\\Software\\A"},
                                             {K::Parm, 4, "First"},
                                             {K::Parm, 4, "Second"},
                                             {K::Characteristic, 3, "HKCU\\B"},
                                             {K::Characteristic, 2, "Sync"},
                                             {K::Parm, 3, "Last"}};
    EXPECT_EQ(Shapes(tree), expected);
    EXPECT_TRUE(WellFormed(tree));
    EXPECT_EQ(tree.Nodes[3].Parent, 2);
    EXPECT_EQ(tree.Nodes[3].End, 6u); // HKLM key: its two parms
    EXPECT_EQ(tree.Nodes[6].End, 7u); // self-closing HKCU key: nothing below
    EXPECT_EQ(tree.Nodes[1].End, 9u); // the document holds everything
    EXPECT_EQ(tree.Nodes[4].Value, "1");
    for (const TNode& node : tree.Nodes)
        EXPECT_EQ(node.Note, "") << node.Name;
}

// Every attribute survives, in order, with the parser's quoting rules; the one shown as the
// name or value is not repeated among the others.
TEST(ProvisioningTree, AttributesKept) {
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc version='1.1'><characteristic TYPE=\"Install\" translation=install "
        "x-custom=\"a b\"><parm name=\"InstallDir\" value=\"%CE1%\\App\" translation=\"install\" "
        "datatype='string'/><parm name=flag/></characteristic></wap-provisioningdoc>");
    ASSERT_EQ(tree.Nodes.size(), 5u);
    EXPECT_EQ(tree.Nodes[1].Attributes.size(), 1u);
    EXPECT_EQ(tree.Nodes[1].Attributes[0].Name, "version");
    const TNode& install = tree.Nodes[2];
    EXPECT_EQ(install.Name, "Install");
    ASSERT_EQ(install.Attributes.size(), 2u);
    EXPECT_EQ(install.Attributes[0].Name, "translation");
    EXPECT_EQ(install.Attributes[0].Value, "install");
    EXPECT_EQ(install.Attributes[1].Name, "x-custom");
    EXPECT_EQ(install.Attributes[1].Value, "a b");
    const TNode& dir = tree.Nodes[3];
    EXPECT_EQ(dir.Value, "%CE1%\\App");
    ASSERT_EQ(dir.Attributes.size(), 2u);
    EXPECT_EQ(dir.Attributes[0].Name, "translation");
    EXPECT_EQ(dir.Attributes[1].Name, "datatype");
    EXPECT_EQ(dir.Attributes[1].Value, "string");
    EXPECT_EQ(tree.Nodes[4].Name, "flag"); // the parser drops a slash against the last value
}

// Queries and removals are nodes of their own kind, shown as what they are.
TEST(ProvisioningTree, QueriesAndRemovals) {
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc><characteristic-query type=\"CertificateStore\" recursive=\"true\"/>"
        "<nocharacteristic type=\"Sync\"/><characteristic type=\"SecurityPolicy\">"
        "<parm-query name=\"4097\"/><noparm name=\"4102\"/><parm name=\"4122\" value=\"0\"/>"
        "</characteristic></wap-provisioningdoc>");
    const std::vector<NodeShape> expected = {{K::Document, 1, ""},
                                             {K::CharacteristicQuery, 2, "CertificateStore"},
                                             {K::NoCharacteristic, 2, "Sync"},
                                             {K::Characteristic, 2, "SecurityPolicy"},
                                             {K::ParmQuery, 3, "4097"},
                                             {K::NoParm, 3, "4102"},
                                             {K::Parm, 3, "4122"}};
    ASSERT_EQ(Shapes(tree), expected);
    EXPECT_EQ(ItemCaption(K::CharacteristicQuery), "characteristic query");
    EXPECT_EQ(ItemCaption(K::NoParm), "remove parm");
    EXPECT_EQ(tree.Nodes[2].Attributes[0].Name, "recursive");
    EXPECT_EQ(NodeMeaning(tree, 3), "removes ActiveSync settings");
    EXPECT_EQ(NodeMeaning(tree, 5), "RAPI Policy (4097)");
    EXPECT_EQ(NodeMeaning(tree, 6), "removes Unsigned Applications Policy (4102)");
    const TProvisioningSummary s = Summarize(tree);
    EXPECT_EQ(s.Queries, 2);
    EXPECT_EQ(s.Removals, 2);
    EXPECT_EQ(s.SecurityPolicies, 1); // the one parm that sets a policy
}

// A local fault is a note on its node; everything around it is still read.
TEST(ProvisioningTree, LocalErrorsAreNotesOnTheirNode) {
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc>"
        "<characteristic type=\"Unclosed\"><parm name=\"a\" value=\"1\"/>"
        "<characteristic type=\"Inner\" =stray type=\"again\"><parm name=\"b\" name=\"c\"/>"
        "</characteristic></wap-provisioningdoc>"
        "</characteristic><characteristic type=\"After\"/>");
    const TNode* unclosed = FindNode(tree, K::Characteristic, "Unclosed");
    const TNode* inner = FindNode(tree, K::Characteristic, "Inner");
    const TNode* parm = FindNode(tree, K::Parm, "b");
    ASSERT_TRUE(unclosed && inner && parm);
    EXPECT_EQ(unclosed->Note, "not closed: ended by </wap-provisioningdoc>");
    EXPECT_NE(inner->Note.find("1 attribute(s) without a name left out"), std::string::npos);
    EXPECT_NE(inner->Note.find("written more than once (the first counts): type"),
              std::string::npos);
    EXPECT_NE(parm->Note.find("written more than once (the first counts): name"),
              std::string::npos);
    // The stray closing tag after the document is noted on the root; the tag after it is read.
    EXPECT_EQ(tree.Nodes[0].Note, "closing tag </characteristic> matches no open tag");
    ASSERT_NE(FindNode(tree, K::Characteristic, "After"), nullptr);
    EXPECT_EQ(FindNode(tree, K::Characteristic, "After")->Depth, 1u);
    EXPECT_TRUE(WellFormed(tree));
}

// A tag that never ends stops the parser: the node it would have been in says so.
TEST(ProvisioningTree, DocumentThatBreaksOffInATag) {
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc><characteristic type=\"Sync\"><parm name=\"a\" value=\"1\"/>"
        "<parm name=\"b\" value=\"never closed");
    ASSERT_EQ(tree.Nodes.size(), 4u);
    EXPECT_NE(tree.Nodes[2].Note.find("> not found"), std::string::npos);
    EXPECT_NE(tree.Nodes[2].Note.find("not closed before the end"), std::string::npos);
    EXPECT_EQ(tree.Nodes[1].Note, "not closed before the end of the document");

    const TProvisioningTree script =
        ReadProvisioning("<characteristic type=\"A\"><script>if (a<b) {<parm name=\"x\"/>");
    ASSERT_EQ(script.Nodes.size(), 3u);
    EXPECT_EQ(script.Nodes[2].Note,
              "a script or style element is never closed; what follows it cannot be read; "
              "not closed before the end of the document");
}

// An open parm closed by its own tag is no fault; an open parm left open is a leaf anyway.
TEST(ProvisioningTree, OpenParmsAreLeaves) {
    const TProvisioningTree tree =
        ReadProvisioning("<characteristic type=\"A\"><parm name=\"x\" value=\"1\"></parm>"
                         "<parm name=\"y\" value=\"2\"><parm name=\"z\"/></characteristic>");
    const std::vector<NodeShape> expected = {
        {K::Characteristic, 1, "A"}, {K::Parm, 2, "x"}, {K::Parm, 2, "y"}, {K::Parm, 2, "z"}};
    EXPECT_EQ(Shapes(tree), expected);
    for (const TNode& node : tree.Nodes)
        EXPECT_EQ(node.Note, "") << node.Name;
}

// A provisioning document inside a parm's value, escaped or raw, is read as the parm's child
// tree; one nested too deep is left as text with a note.
TEST(ProvisioningTree, DocumentNestedInAParmValue) {
    const std::string inner = "&lt;wap-provisioningdoc&gt;&lt;characteristic type=&quot;"
                              "SecurityPolicy&quot;&gt;&lt;parm name=&quot;4102&quot; "
                              "value=&quot;1&quot;/&gt;&lt;/characteristic&gt;"
                              "&lt;/wap-provisioningdoc&gt;";
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc><characteristic type=\"Carrier\"><parm name=\"Doc\" value=\"" +
        inner + "\"/><parm name=\"After\" value=\"x\"/></characteristic></wap-provisioningdoc>");
    const std::vector<NodeShape> expected = {
        {K::Document, 1, ""}, {K::Characteristic, 2, "Carrier"},        {K::Parm, 3, "Doc"},
        {K::Document, 4, ""}, {K::Characteristic, 5, "SecurityPolicy"}, {K::Parm, 6, "4102"},
        {K::Parm, 3, "After"}};
    ASSERT_EQ(Shapes(tree), expected);
    EXPECT_TRUE(WellFormed(tree));
    EXPECT_EQ(tree.Nodes[3].End, 7u);
    EXPECT_EQ(NodeMeaning(tree, 4), "nested provisioning document");
    EXPECT_EQ(NodeMeaning(tree, 6),
              "Unsigned Applications Policy (4102): 1 = unsigned applications may run");
    EXPECT_EQ(Summarize(tree).SecurityPolicies, 1);

    // Raw markup in a double-quoted value nests the same way.
    const TProvisioningTree raw = ReadProvisioning(
        "<parm name=\"Doc\" value=\"<wap-provisioningdoc><parm name='p' value='1'/>"
        "</wap-provisioningdoc>\"/>");
    ASSERT_EQ(raw.Nodes.size(), 4u);
    EXPECT_EQ(raw.Nodes[3].Name, "p");
    EXPECT_EQ(raw.Nodes[3].Depth, 3u);

    // Each level escapes the one inside it once more; past the limit the value stays text.
    std::string doc = "<parm name=\"deepest\"/>";
    for (int level = 0; level < kMaxNestedDocuments + 2; ++level) {
        std::string escaped;
        for (const char c : doc)
            escaped += c == '<'   ? "&lt;"
                       : c == '>' ? "&gt;"
                       : c == '"' ? "&quot;"
                       : c == '&' ? "&amp;"
                                  : std::string(1, c);
        doc = "<wap-provisioningdoc><parm name=\"level\" value=\"" + escaped +
              "\"/></wap-provisioningdoc>";
    }
    const TProvisioningTree deep = ReadProvisioning(doc);
    EXPECT_TRUE(WellFormed(deep));
    EXPECT_EQ(FindNode(deep, K::Parm, "deepest"), nullptr);
    int noted = 0;
    for (const TNode& node : deep.Nodes)
        noted += node.Note == "a provisioning document nested this deep is not read";
    EXPECT_EQ(noted, 1);
}
