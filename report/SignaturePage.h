#pragma once
// What a cabinet's signature adds to the pages: two rows after the properties page's own, and
// a page of the certificates carried and the checks made, with the records behind them.
#include "report/Page.h"

struct TCabinetSignature;

// "Signature": "Not signed", "Intact", "Modified: <which check failed>" or
// "Unreadable: <why>"; "Signed By": the signer's common name, empty when there is none.
// Appended after the rows already there, which stay as they are.
void AddSignatureRows(TPage& properties, const TCabinetSignature& signature);

struct TSignaturePages {
    // verdict, reason, signedBy, digestAlgorithm, signingTime, testCertificate, position, size
    TRecord Summary;
    // "Certificates": "Subject", "Issuer", "Serial", "Valid From", "Valid To", "Thumbprint",
    // "Key", "Self-signed", "Signer". Records: subject, issuer, serial, notBefore, notAfter,
    // thumbprint, keyType, keyBits, selfSigned, signer.
    TPage Certificates;
    // "Checks": "Check" and "Result" ("Passed" or "Failed"). Records: name, passed.
    TPage Checks;
};

[[nodiscard]] TSignaturePages BuildSignaturePages(const TCabinetSignature& signature);
