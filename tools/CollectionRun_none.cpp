#include "tools/CollectionRun.h"

#include <cstdio>

int RunCollection(const Options&) {
    std::fputs("tessary-info: this build has no collection support\n", stderr);
    return 3;
}

int WriteCollectionInventory(const Options& o) {
    return RunCollection(o);
}
