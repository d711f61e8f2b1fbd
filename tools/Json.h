#pragma once
#include "cab/PlainText.h"
#include "report/Page.h"
#include "tools/JsonWriter.h"

#include <string>
#include <string_view>

class TCESetup;
class TCABFile;
class TCABFileContents;
class TCabinetLook;
class TSetupDocument;
namespace provisioning {
struct TProvisioningTree;
}
struct TCabinetSignature;
struct TTrustContext;
struct TPage;

// Texts meant as UTF-8 (certificate names, file names given to the tool): a byte that does not
// belong to a well-formed sequence becomes U+FFFD, so that the document can always be written.
[[nodiscard]] std::string WellFormedUtf8(std::string_view text);

// The members below are written into an object the caller has begun, so that a caller can put
// its own keys before and after them.

// "entries": the listing's entries in cabinet order.
void WriteEntriesJson(TJsonWriter& out, const TCABFileContents& listing);
// The loaded setup: format, project, the six tables, setupDll, the cabinet's entries, its
// signature and its provisioning document. The cabinet holds the listing of the load look saw;
// its "_setup.xml" is document's.
void WriteSetupJson(TJsonWriter& out, TCESetup& setup, TCABFile& cabinet,
                    const TCabinetSignature& signature, TSetupDocument& document);

// The signature's verdict, certificates, checks and trust statement, as one object; context
// tells what the setup adds to the device's stores.
void WriteSignatureJson(TJsonWriter& out, const TCabinetSignature& signature,
                        const TTrustContext& context);
// The cabinet's "_setup.xml" as provisioning rows, certificates and counts, as one object; null
// without one (tree null). Texts that are valid UTF-8 stay as they are, others are taken as
// 8-bit.
void WriteProvisioningJson(TJsonWriter& out, const TCESetup& setup,
                           const provisioning::TProvisioningTree* tree);
// The records of a page's rows in model order.
void WritePageRecords(TJsonWriter& out, const TPage& page);
// The same for pages beyond the setup's own: texts that are valid UTF-8 stay as they are, others
// are taken as 8-bit.
void WriteMixedPageRecords(TJsonWriter& out, const TPage& page);
// One text as those pages write it: kept when well-formed UTF-8, else taken as 8-bit.
void WriteMixedText(TJsonWriter& out, std::string_view text);
// One record's members with the texts of those pages.
void WriteMixedRecordMembers(TJsonWriter& out, const TRecord& record);
