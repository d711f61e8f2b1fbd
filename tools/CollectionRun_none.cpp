#include "tools/CollectionRun.h"

#include <cstdio>

int RunCollection(const Options&) {
    std::fputs("tessary-info: this build has no collection support\n", stderr);
    return 3;
}
