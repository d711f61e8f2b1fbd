#include "tools/Heap.h"

// First: the C library's headers say which library it is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

bool GrowHeapInLargeSteps(bool oneHeap) {
    rlimit space{};
    if (getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur != RLIM_INFINITY) {
        // Nothing ahead; but a thread's heap of its own sets aside 64 MB of addresses at once,
        // which a limited run pays for as if used.
        if (oneHeap) mallopt(M_ARENA_MAX, 1);
        return false;
    }
    constexpr size_t kStep = size_t{64} << 20;
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    // Kept when the top of the heap is freed, and asked for with every growth; large buffers come
    // from the heap too, instead of a mapping of their own made and unmade each time.
    if (mallopt(M_TOP_PAD, static_cast<int>(kStep)) == 0) return false;
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kStep));
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kStep / 2));
    if (oneHeap) mallopt(M_ARENA_MAX, 1);
    // One growth now, so that the step is in place to be advised.
    const auto before = reinterpret_cast<uintptr_t>(sbrk(0));
    void* grown = std::malloc(size_t{1} << 20);
    const auto after = reinterpret_cast<uintptr_t>(sbrk(0));
    std::free(grown);
    const uintptr_t first = (before + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = after & ~(kHugePage - 1);
    if (grown == nullptr || last <= first) return false;
    return madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE) == 0;
}

#else

bool GrowHeapInLargeSteps(bool /*oneHeap*/) {
    return false;
}

#endif
