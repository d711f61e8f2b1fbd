#pragma once
// What a cabinet's signature adds to the pages: two rows after the properties page's own, and
// a page of the certificates carried and the checks made, with the records behind them.
#include "report/Page.h"
#include "signature/Trust.h"

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
    // "Checks": "Check" and "Result" ("Passed" or "Failed"; a chain that verifies says where
    // it ends). Records: name, passed.
    TPage Checks;
    // What the signature lets a device conclude: statement (the one line), chain, chainEnd
    // ("self-signed", "carried root", "issuer missing", "broken"), chainEndSubject,
    // chainEndThumbprint, missingIssuer, test, validToday, validAtSigning, signingTime,
    // countersignatureTime, digestAlgorithm, weakDigest, selfAdded. Null when not signed.
    TRecord Trust;
    // "Trust": "Fact" and "Statement", one row per part of the statement that says something.
    TPage TrustFacts;
    std::string TrustLine; // "Trust: ...", as --verify's second line
    std::string Status;    // the verdict's summary and the trust line, for the status bars
};

// context.Now is the time "today" means (empty: the clock's); context.Added what the setup
// itself adds to the device's stores, when known.
[[nodiscard]] TSignaturePages BuildSignaturePages(const TCabinetSignature& signature,
                                                  const TTrustContext& context = {});
