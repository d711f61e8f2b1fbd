#include "tests/provisioning/ProvisioningSupport.h"

#include "cab/TextValues.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"

#include <gtest/gtest.h>

using namespace provisioning;

// The table answers a documented id with its name and the meaning of the value; an id the
// table does not have shows its number.
TEST(SecurityPolicyTable, KnownAndUnknownIds) {
    const TSecurityPolicy* apps = FindSecurityPolicy(4102);
    ASSERT_NE(apps, nullptr);
    EXPECT_EQ(apps->Name, "Unsigned Applications Policy");
    EXPECT_EQ(SecurityPolicyMeaning("4102", "0", true),
              "Unsigned Applications Policy (4102): 0 = unsigned applications may not run");
    EXPECT_EQ(SecurityPolicyMeaning("4097", "2", true),
              "RAPI Policy (4097): 2 = restricted: RAPI calls are checked against the User "
              "Authenticated role");
    EXPECT_EQ(SecurityPolicyMeaning("4119", "144", true),
              "Grant Manager Policy (4119): the Manager's rights are also granted to the roles "
              "SECROLE_USER_AUTH | SECROLE_OPERATOR_TPS");
    EXPECT_EQ(FindSecurityPolicy(4100), nullptr);
    EXPECT_EQ(SecurityPolicyMeaning("4100", "1", true),
              "policy 4100 (not in the documented table)");
    EXPECT_EQ(SecurityPolicyMeaning("4102", "7", true),
              "Unsigned Applications Policy (4102): 7 (not a documented value)");
    EXPECT_EQ(SecurityPolicyMeaning("0x1006", "1", true), "not a policy number");
    EXPECT_EQ(SecurityPolicyMeaning("99999999999", "1", true), "not a policy number");
}

TEST(SecurityPolicyTable, RoleMasks) {
    EXPECT_EQ(RoleMaskText(0), "SECROLE_NONE");
    EXPECT_EQ(RoleMaskText(16), "SECROLE_USER_AUTH");
    // Bits the role table does not document are shown as a number, not dropped.
    EXPECT_EQ(RoleMaskText(8 | 0x8000), "SECROLE_MANAGER | 0x8000");
    EXPECT_EQ(SecurityPolicyMeaning("4101", "abc", true),
              "Unsigned CABS Policy (4101): abc (not a role mask)");
}

// Captions depend on where a characteristic stands: top level, a store, a certificate.
TEST(ProvisioningMeaning, CaptionsByPlace) {
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc><characteristic type=\"metabase\"/>"
        "<characteristic type=\"CertificateStore\"><characteristic type=\"SPC\">"
        "<characteristic type=\"00AA\"><parm name=\"Role\" value=\"8\"/></characteristic>"
        "</characteristic></characteristic><characteristic type=\"Vendor.Thing\"/>"
        "</wap-provisioningdoc>");
    ASSERT_EQ(tree.Nodes.size(), 8u);
    EXPECT_EQ(NodeMeaning(tree, 2), "configuration metabase: who may change which setting");
    EXPECT_EQ(NodeMeaning(tree, 4),
              "roots trusted for signed cabinets (Software Publisher Certificates)");
    EXPECT_EQ(NodeMeaning(tree, 5), "certificate filed under this name");
    EXPECT_EQ(NodeMeaning(tree, 6), "roles SECROLE_MANAGER");
    EXPECT_EQ(NodeMeaning(tree, 7), "");
}

// Rows carry the item, name, the exact value, the other attributes apart, and meaning with the
// note. Entities are decoded once, in names, values and attributes alike.
TEST(ProvisioningRows, ColumnsAndHeadline) {
    const TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc><characteristic type=\"SecurityPolicy\">"
        "<parm name=\"4122\" value=\"1\" datatype=\"integer\"/></characteristic>"
        "<characteristic type=\"Open\"><parm name=\"a&amp;b\" "
        "value=\"&quot;%CE1%\\x.exe&quot; &amp;lt;\" note=\"&lt;1&gt;\"/></wap-provisioningdoc>");
    const std::vector<TProvisioningRow> rows = ProvisioningRows(tree);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].Item, "provisioning document");
    EXPECT_EQ(rows[0].Name, "wap-provisioningdoc");
    EXPECT_EQ(rows[2].Depth, 2u);
    EXPECT_EQ(rows[2].Item, "parm");
    EXPECT_EQ(rows[2].Value, "1");
    EXPECT_EQ(rows[2].Attributes, "datatype=\"integer\"");
    EXPECT_EQ(rows[4].Name, "a&b");
    EXPECT_EQ(rows[4].Value, "\"%CE1%\\x.exe\" &lt;");
    EXPECT_EQ(rows[4].Attributes, "note=\"<1>\"");
    EXPECT_EQ(rows[2].Meaning, "Unsigned Prompt Policy (4122): 1 = the user is not asked");
    EXPECT_EQ(rows[3].Meaning, "note: not closed: ended by </wap-provisioningdoc>");
    EXPECT_EQ(ProvisioningHeadline(Summarize(tree)),
              "Provisioning document: 1 security policy, 0 certificates");

    // A fault of the document as a whole leads the rows.
    const std::vector<TProvisioningRow> stray =
        ProvisioningRows(ReadProvisioning("</characteristic><parm name=\"a\"/>"));
    ASSERT_EQ(stray.size(), 2u);
    EXPECT_EQ(stray[0].Item, "document");
    EXPECT_EQ(stray[0].Meaning, "note: closing tag </characteristic> matches no open tag");
    EXPECT_EQ(stray[1].Name, "a");
}

TEST(Base64, DecodesWithLineBreaksAndRejectsDamage) {
    std::string why;
    const auto bytes = DecodeBase64("TWFu\r\n TWE=", why);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "ManMa");
    EXPECT_EQ(DecodeBase64("TW*u", why), std::nullopt);
    EXPECT_EQ(why, "byte 0x2A at offset 2 is not base64");
    EXPECT_EQ(DecodeBase64("TWF", why), std::nullopt);
    EXPECT_EQ(why, "the text ends in the middle of a group of four");
    EXPECT_EQ(DecodeBase64("TQ==TQ==", why), std::nullopt);
    EXPECT_EQ(DecodeBase64("T===", why), std::nullopt);
    EXPECT_EQ(DecodeBase64("  ", why), std::nullopt);
    EXPECT_EQ(why, "the value is empty");
    // The descriptor's registry data has no spaces: there one makes the text not base64.
    EXPECT_EQ(DecodeBase64("TWFu TWE=", why, false), std::nullopt);
    EXPECT_EQ(why, "byte 0x20 at offset 4 is not base64");
}

// The report pages: a tree node per row under its parent's node, the row's record for JSON,
// and a certificate row that says why it did not decode.
TEST(ProvisioningPages, TreeRowsAndCertificates) {
    TProvisioningTree tree = ReadProvisioning(
        "<wap-provisioningdoc><characteristic type=\"CertificateStore\">"
        "<characteristic type=\"ROOT\"><characteristic type=\"00\">"
        "<parm name=\"EncodedCertificate\" value=\"*\"/></characteristic></characteristic>"
        "</characteristic></wap-provisioningdoc>");
    DecodeCertificates(tree);
    const TProvisioningPages pages = BuildProvisioningPages(tree);
    ASSERT_EQ(pages.Rows.Rows.size(), 5u);
    ASSERT_EQ(pages.Tree.Nodes.size(), 5u);
    EXPECT_EQ(pages.Tree.TopLevel, std::vector<size_t>{0});
    EXPECT_EQ(pages.Tree.Nodes[4].Caption, "parm EncodedCertificate");
    EXPECT_EQ(pages.Tree.Nodes[4].Parent, 3u);
    const TRow& parm = pages.Rows.Rows[4];
    EXPECT_EQ(parm.Node, 4u);
    EXPECT_EQ(parm.Source, 5u);
    EXPECT_EQ(std::get<int64_t>(*FindField(parm.Record, "depth")), 4);
    EXPECT_EQ(parm.Cells[4].Text, "certificate that does not decode");
    ASSERT_EQ(pages.Certificates.Rows.size(), 1u);
    const TRow& c = pages.Certificates.Rows[0];
    EXPECT_EQ(c.Cells[0].Text, "CertificateStore / ROOT");
    EXPECT_EQ(std::get<bool>(*FindField(c.Record, "decoded")), false);
    EXPECT_EQ(std::get<std::string>(*FindField(c.Record, "note")),
              "not base64: byte 0x2A at offset 0 is not base64");
}
