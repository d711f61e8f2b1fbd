#pragma once
// How the tool's heap grows, set once before any setup is read.

// A large setup makes tens of megabytes of small objects (rows, cells, program facts). Where the
// C library lets us (glibc on Linux), the heap grows in large steps that the kernel may back with
// huge pages: a fault per 4 KB page on first touch otherwise costs more than decompressing the
// cabinet. With oneHeap the threads that read a setup beside the main one allocate from that
// heap too, rather than from heaps of their own that grow a page at a time; a run of many
// readers at once keeps their own heaps. Under an address-space limit, where memory reserved
// ahead could make a later allocation fail, nothing is reserved (one heap is still kept: each
// thread's own would set addresses aside); nothing is done with another C library. Returns
// whether the heap was set up to grow in large steps.
bool GrowHeapInLargeSteps(bool oneHeap);
