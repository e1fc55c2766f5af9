#pragma once

// Counts the program's heap: allocations, live bytes and the peak of live bytes, through
// replaced malloc, realloc and free (see heap_tracker.cpp), which every operator new
// uses, and mmap, mremap and munmap for the blocks mapped directly. Benchmarks read it to
// report allocations per operation and bytes per element.

#include <cstddef>

namespace bench {

struct HeapFigures {
  std::size_t allocations;
  std::size_t live_bytes;
  std::size_t peak_bytes;
};

HeapFigures heap_figures();

// For the replaced C functions.
void* count_allocation(void* pointer);
void count_release(void* pointer);
void count_release_bytes(std::size_t bytes);
void count_mapping(void* address, std::size_t bytes);
std::size_t forget_mapping(void* address);
// Starts a new peak from the bytes live now.
void reset_heap_peak();

}  // namespace bench
