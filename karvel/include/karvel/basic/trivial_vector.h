#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace karvel {

// A growable array of trivially copyable values for the large arrays of a mesh being
// refined. On Linux a block of 1 MiB or more is mapped on its own and grown by remapping
// its pages, so growing neither copies the elements nor holds the old and the new block
// at once, and only the new pages are touched for the first time; smaller blocks grow
// with realloc. Cheap growth lets it grow by half rather than double, which keeps the
// unused capacity small.
// Every change that can fail (growing) gives the strong guarantee.
template <typename T>
class TrivialVector {
  static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");

 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  TrivialVector() = default;
  TrivialVector(std::size_t size, const T& value) { assign(size, value); }
  TrivialVector(std::initializer_list<T> values) {
    reserve(values.size());
    for (const T& value : values) push_back(value);
  }
  TrivialVector(const TrivialVector& other) { *this = other; }
  TrivialVector(TrivialVector&& other) noexcept { swap(other); }
  TrivialVector& operator=(const TrivialVector& other) {
    if (this == &other) return *this;
    if (other.size_ > capacity_) {
      TrivialVector fresh;
      fresh.reallocate(other.size_);
      swap(fresh);
    }
    if (other.size_ > 0)
      std::memcpy(static_cast<void*>(data_), other.data_, other.size_ * sizeof(T));
    size_ = other.size_;
    return *this;
  }
  TrivialVector& operator=(TrivialVector&& other) noexcept {
    TrivialVector moved{std::move(other)};
    swap(moved);
    return *this;
  }
  ~TrivialVector() { release(); }

  void swap(TrivialVector& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }

  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t index) { return data_[index]; }
  const T& operator[](std::size_t index) const { return data_[index]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }
  iterator begin() { return data_; }
  iterator end() { return data_ + size_; }
  const_iterator begin() const { return data_; }
  const_iterator end() const { return data_ + size_; }

  void push_back(const T& value) {
    if (size_ == capacity_) {
      grow_and_push_back(value);
      return;
    }
    data_[size_++] = value;
  }
  void reserve(std::size_t capacity) {
    if (capacity > capacity_) reallocate(capacity);
  }
  // Room for `extra` more values, grown by half as push_back() grows: the next `extra`
  // push_back() calls cannot fail.
  void make_room(std::size_t extra) {
    if (size_ + extra > capacity_) {
      reallocate(std::max<std::size_t>({16, size_ + extra, capacity_ + capacity_ / 2}));
    }
  }
  void resize(std::size_t size, const T& value = T{}) {
    const T fill = value;
    if (size > capacity_) reallocate(std::max(size, capacity_ + capacity_ / 2));
    if (size > size_) std::fill(data_ + size_, data_ + size, fill);
    size_ = size;
  }
  // Grows to `size` leaving the new values unset, for a caller that writes every one of
  // them: the pages are first touched there (by as many threads as write them), not by a
  // fill that precedes it.
  void resize_for_overwrite(std::size_t size) {
    if (size > capacity_) reallocate(size);
    size_ = size;
  }
  void assign(std::size_t size, const T& value) {
    const T fill = value;
    reserve(size);
    std::fill(data_, data_ + size, fill);
    size_ = size;
  }
  // Keeps the storage, for reuse.
  void clear() { size_ = 0; }

 private:
  // Out of line: keeps push_back small enough to inline into tight loops.
  __attribute__((noinline)) void grow_and_push_back(const T& value) {
    // `value` may live in this array: copy it before the block moves.
    const T copy = value;
    reallocate(std::max<std::size_t>(16, capacity_ + capacity_ / 2));
    data_[size_++] = copy;
  }
  static constexpr std::size_t mapped_bytes = std::size_t{1} << 20;
  static constexpr std::size_t page_bytes = 4096;
  // The storage's kind follows from its capacity alone.
  static bool is_mapped(std::size_t capacity) {
#if defined(__linux__)
    return capacity * sizeof(T) >= mapped_bytes;
#else
    (void)capacity;
    return false;
#endif
  }
  static constexpr std::size_t large_page_bytes = std::size_t{2} << 20;
  // Whole large pages past the first one: the system then places the block on a large
  // page boundary and a remapping moves its large pages as they are. A block that ends
  // inside a large page has them split up when it moves, and every later access to the
  // moved part costs the like of a first touch (a refinement's arrays took 30 times as
  // long to sweep after each growth).
  static std::size_t mapping_bytes(std::size_t capacity) {
    const std::size_t bytes = capacity * sizeof(T);
    const std::size_t unit = bytes > large_page_bytes ? large_page_bytes : page_bytes;
    return (bytes + unit - 1) / unit * unit;
  }

  void reallocate(std::size_t capacity) {
    if (capacity > (std::size_t(-1) - large_page_bytes) / sizeof(T))
      throw std::bad_alloc{};
    if (!is_mapped(capacity)) {
      void* block = std::realloc(data_, capacity * sizeof(T));
      if (!block) throw std::bad_alloc{};
      data_ = static_cast<T*>(block);
      capacity_ = capacity;
      return;
    }
#if defined(__linux__)
    const std::size_t bytes = mapping_bytes(capacity);
    void* block = is_mapped(capacity_)
                      ? ::mremap(data_, mapping_bytes(capacity_), bytes, MREMAP_MAYMOVE)
                      : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc{};
    if (!is_mapped(capacity_)) {
      // Large pages where the system offers them on request: a refinement touches its
      // arrays' new pages one by one, and a fault per 4 KiB page is a good part of its
      // time. Only advice (refused, the block keeps its small pages); a remapping that
      // grows the block keeps it.
      ::madvise(block, bytes, MADV_HUGEPAGE);
      if (size_ > 0)
        std::memcpy(block, static_cast<const void*>(data_), size_ * sizeof(T));
      std::free(data_);
    }
    data_ = static_cast<T*>(block);
    capacity_ = bytes / sizeof(T);
#endif
  }
  void release() {
#if defined(__linux__)
    if (is_mapped(capacity_)) {
      ::munmap(data_, mapping_bytes(capacity_));
      return;
    }
#endif
    std::free(data_);
  }

  T* data_{nullptr};
  std::size_t size_{0};
  std::size_t capacity_{0};
};

}  // namespace karvel
