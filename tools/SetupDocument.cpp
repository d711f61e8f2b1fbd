#include "tools/SetupDocument.h"

const provisioning::TProvisioningTree* TSetupDocument::Get() {
    if (!FPresent) {
        FTree = {};
        FPresent = provisioning::ReadCabinetProvisioning(FCabinet, FTree, &FLook);
    }
    return *FPresent ? &FTree : nullptr;
}

TTrustContext TSetupDocument::TrustContext() {
    TTrustContext context;
    try {
        if (const provisioning::TProvisioningTree* tree = Get())
            context.Added = provisioning::StoreAdditions(*tree);
    } catch (const std::exception&) {
        // A listing that fails leaves the statement without what the setup adds.
        context.Added.clear();
    }
    return context;
}
