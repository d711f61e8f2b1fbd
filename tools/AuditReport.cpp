#include "tools/AuditReport.h"

#include "audit/FindingsPage.h"
#include "cab/cabfiles.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

std::vector<TFinding> AuditSetup(TCESetup& setup, TCABFile& cabinet,
                                 const std::vector<TProgramRow>& programs) {
    const TCabinetSignature signature = VerifyCabinetSignature(cabinet.CABFile);
    provisioning::TProvisioningTree tree;
    const bool haveTree = provisioning::ReadCabinetProvisioning(cabinet, tree);
    const TDescriptorFacts facts = ReadDescriptorFacts(setup, cabinet, haveTree ? &tree : nullptr);
    // The reads above list the cabinet again; the listing they leave is the current one.
    TAuditInput input;
    input.Setup = &setup;
    input.Listing = &cabinet.CABFileContents;
    input.Signature = &signature;
    input.Provisioning = haveTree ? &tree : nullptr;
    input.Programs = &programs;
    input.Descriptors = &facts;
    return RunAudit(input);
}

void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings) {
    const TPage page = BuildFindingsPage(findings);
    out << '\n' << page.Caption << " (" << page.Rows.size() << ")\n";
    out << "  " << FindingsHeadline(CountFindings(findings)) << '\n';
    WriteTable(out, page);
}

nlohmann::ordered_json FindingsToJson(const std::vector<TFinding>& findings) {
    return PageRecordsToJson(BuildFindingsPage(findings));
}
