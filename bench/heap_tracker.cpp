#include "heap_tracker.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace bench {
namespace {

std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> live_bytes{0};
std::atomic<std::size_t> peak_bytes{0};

void* track_allocation(std::size_t size) {
  void* pointer = std::malloc(size == 0 ? 1 : size);
  if (!pointer) throw std::bad_alloc{};
  allocations.fetch_add(1, std::memory_order_relaxed);
  const std::size_t live =
      live_bytes.fetch_add(malloc_usable_size(pointer), std::memory_order_relaxed) +
      malloc_usable_size(pointer);
  std::size_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak &&
         !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return pointer;
}

void track_release(void* pointer) {
  if (!pointer) return;
  live_bytes.fetch_sub(malloc_usable_size(pointer), std::memory_order_relaxed);
  std::free(pointer);
}

}  // namespace

HeapFigures heap_figures() {
  return {allocations.load(), live_bytes.load(), peak_bytes.load()};
}

void reset_heap_peak() { peak_bytes.store(live_bytes.load()); }

}  // namespace bench

void* operator new(std::size_t size) { return bench::track_allocation(size); }
void* operator new[](std::size_t size) { return bench::track_allocation(size); }
void operator delete(void* pointer) noexcept { bench::track_release(pointer); }
void operator delete[](void* pointer) noexcept { bench::track_release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept {
  bench::track_release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
  bench::track_release(pointer);
}
