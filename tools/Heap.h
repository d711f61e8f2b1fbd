#pragma once
// How the tool's heap grows, set once before any setup is read.

// A large setup makes tens of megabytes of small objects (rows, cells, program facts). Where the
// C library lets us (glibc on Linux), the heap grows in large steps that the kernel may back with
// huge pages: a fault per 4 KB page on first touch otherwise costs more than decompressing the
// cabinet. With oneHeap the threads that read a setup beside the main one allocate from that
// heap too, rather than from heaps of their own that grow a page at a time; a run of many
// readers at once keeps their own heaps. Nothing is done under an address-space limit, where
// memory reserved ahead could make a later allocation fail, nor with another C library. Returns
// whether the heap was set up so.
bool GrowHeapInLargeSteps(bool oneHeap);
