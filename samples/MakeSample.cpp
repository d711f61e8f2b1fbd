// Writes the bundled sample setup cabinet to the path given on the command line.
#include "samples/SampleSetup.h"

#include <cstdio>
#include <exception>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.cab\n", argv[0]);
        return 2;
    }
    try {
        WriteSampleSetup(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
