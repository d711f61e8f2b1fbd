#pragma once
// The setup's "_setup.xml", read through the load's look the first time a part of the run asks
// for it: the report, the JSON, the device decision and the audit then decode it once.
#include "provisioning/Rows.h"
#include "signature/Trust.h"

#include <optional>

class TCABFile;
class TCabinetLook;

class TSetupDocument {
  public:
    TSetupDocument(TCABFile& cabinet, TCabinetLook& look) : FCabinet(cabinet), FLook(look) {}

    // The document, or null when the cabinet has none (or it cannot be read, as the reader
    // decides). What the reader throws is passed on, and asked again next time.
    [[nodiscard]] const provisioning::TProvisioningTree* Get();
    // What the document adds to the device's certificate stores, for the signature's trust
    // statement; empty without a document or when it cannot be read. Never throws.
    [[nodiscard]] TTrustContext TrustContext();

  private:
    TCABFile& FCabinet;
    TCabinetLook& FLook;
    std::optional<bool> FPresent;
    provisioning::TProvisioningTree FTree;
};
