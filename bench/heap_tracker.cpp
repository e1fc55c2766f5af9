#include "heap_tracker.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

// The C library's own entry points, under the names it exports for interposers.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace bench {
namespace {

std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};

void add_live(std::size_t bytes) {
  const std::size_t live = live_bytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  std::size_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak &&
         !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

}  // namespace

void* count_allocation(void* pointer) {
  if (!pointer) return pointer;
  allocations.fetch_add(1, std::memory_order_relaxed);
  add_live(malloc_usable_size(pointer));
  return pointer;
}

void count_release_bytes(std::size_t bytes) {
  live_bytes.fetch_sub(bytes, std::memory_order_relaxed);
}

void count_release(void* pointer) {
  if (pointer) count_release_bytes(malloc_usable_size(pointer));
}

HeapFigures heap_figures() {
  return {allocations.load(), live_bytes.load(), peak_bytes.load()};
}

void reset_heap_peak() { peak_bytes.store(live_bytes.load()); }

}  // namespace bench

// Every allocation of the program comes through these: operator new, plain and aligned,
// and the blocks that grow with realloc. A grown block counts as one allocation, and the
// peak sees the grown size (a block that the C library moves by remapping its pages is
// never held twice).
extern "C" {
void* malloc(std::size_t size) { return bench::count_allocation(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) {
  return bench::count_allocation(__libc_calloc(count, size));
}
void free(void* pointer) {
  bench::count_release(pointer);
  __libc_free(pointer);
}
void* realloc(void* pointer, std::size_t size) {
  if (!pointer) return malloc(size);
  if (size == 0) {
    free(pointer);
    return nullptr;
  }
  const std::size_t old_size = malloc_usable_size(pointer);
  void* moved = __libc_realloc(pointer, size);
  if (!moved) return moved;  // the old block stays, and so does its count
  bench::count_release_bytes(old_size);
  return bench::count_allocation(moved);
}
void* memalign(std::size_t alignment, std::size_t size) {
  return bench::count_allocation(__libc_memalign(alignment, size));
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  void* pointer = memalign(alignment, size);
  if (!pointer) return ENOMEM;
  *result = pointer;
  return 0;
}
}
