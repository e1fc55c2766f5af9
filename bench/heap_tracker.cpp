#include "heap_tracker.h"

#include <malloc.h>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

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

namespace {

// Anonymous mappings made directly (the large mesh arrays), by address: their bytes count
// as heap too.
std::mutex mappings_mutex;
std::unordered_map<void*, std::size_t>& mappings() {
  static auto* table = new std::unordered_map<void*, std::size_t>;
  return *table;
}

}  // namespace

void count_mapping(void* address, std::size_t bytes) {
  {
    const std::lock_guard<std::mutex> lock{mappings_mutex};
    mappings()[address] = bytes;
  }
  allocations.fetch_add(1, std::memory_order_relaxed);
  add_live(bytes);
}

// The bytes of a counted mapping that ends, or 0.
std::size_t forget_mapping(void* address) {
  const std::lock_guard<std::mutex> lock{mappings_mutex};
  const auto found = mappings().find(address);
  if (found == mappings().end()) return 0;
  const std::size_t bytes = found->second;
  mappings().erase(found);
  return bytes;
}

HeapFigures heap_figures() {
  return {allocations.load(), live_bytes.load(), peak_bytes.load()};
}

void reset_heap_peak() { peak_bytes.store(live_bytes.load()); }

}  // namespace bench

// Every allocation of the program comes through these: operator new, plain and aligned,
// the blocks that grow with realloc, and the large blocks mapped directly. A grown block
// counts as one allocation, and the peak sees the grown size (a block that the C library
// moves by remapping its pages is never held twice).
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

void* mmap(void* address, std::size_t length, int protection, int flags, int fd,
           off_t offset) {
  void* mapped = reinterpret_cast<void*>(
      syscall(SYS_mmap, address, length, protection, flags, fd, offset));
  if (mapped != MAP_FAILED && (flags & MAP_ANONYMOUS))
    bench::count_mapping(mapped, length);
  return mapped;
}
int munmap(void* address, std::size_t length) {
  const int status = static_cast<int>(syscall(SYS_munmap, address, length));
  if (status == 0) bench::count_release_bytes(bench::forget_mapping(address));
  return status;
}
void* mremap(void* address, std::size_t old_length, std::size_t new_length, int flags,
             ...) {
  void* new_address = nullptr;
  if (flags & MREMAP_FIXED) {
    va_list arguments;
    va_start(arguments, flags);
    new_address = va_arg(arguments, void*);
    va_end(arguments);
  }
  void* moved = reinterpret_cast<void*>(
      syscall(SYS_mremap, address, old_length, new_length, flags, new_address));
  if (moved == MAP_FAILED) return moved;
  const std::size_t counted = bench::forget_mapping(address);
  if (counted > 0) {
    bench::count_release_bytes(counted);
    bench::count_mapping(moved, new_length);
  }
  return moved;
}
}
