#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace vemra::detail {

// A max-heap of values by a length kept beside each, in exactly the order of a standard
// binary heap (std::push_heap / std::pop_heap under a less-than on the length), tie rules
// included:
//   push: append, then move the new entry up past every parent strictly shorter;
//   pop:  move the last entry out; sift the hole down from the top to the bottom, taking
//         the right child unless the left one is strictly longer (and the lone left child
//         of an even-sized heap); then move the old last entry up from there.
// Sifting through a million entries is bound by memory latency, so the heap is two
// parallel arrays: the lengths, the only thing compared, eight to a cache line, and the
// slots of their values. The lengths sit so that entry 7 starts a line: the two
// children of an entry then share a line, and its descendants three or more levels down
// fill whole lines, which are fetched ahead of the descent. The child is picked without a
// branch (which one rises is a coin toss the predictor cannot learn).
// The values wait in slots that are reused (free ones linked through their own bytes).
// The slots come in fixed chunks: growing never copies the values nor holds two arrays
// of them at once.
//
// NOTE: reserve_one() is the only step that allocates; push() after it cannot fail.
template <typename Value>
class SplitQueue {
  static_assert(std::is_trivially_copyable_v<Value>, "values are moved as bytes");

 public:
  SplitQueue() = default;
  SplitQueue(const SplitQueue&) = delete;
  SplitQueue& operator=(const SplitQueue&) = delete;

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  // REQUIRES: !empty().
  double top_length() const { return lengths_[0]; }
  const Value& top() const { return value(slots_[0]); }

  // Makes room for one more entry: the strong guarantee, the queue is unchanged when it
  // fails.
  void reserve_one() {
    if (size_ == capacity_) {
      // Grown by half, not doubled: at the peak the old and new arrays coexist.
      const std::size_t capacity = std::max<std::size_t>(16, size_ + size_ / 2);
      auto lengths = new_heap_array<double>(capacity);
      auto slots = new_heap_array<std::uint32_t>(capacity);
      std::copy_n(lengths_, size_, lengths.get() + 1);
      std::copy_n(slots_, size_, slots.get() + 1);
      length_storage_ = std::move(lengths);
      slot_storage_ = std::move(slots);
      lengths_ = length_storage_.get() + 1;
      slots_ = slot_storage_.get() + 1;
      capacity_ = capacity;
    }
    if (first_free_ == no_slot && nb_slots_ == chunks_.size() * chunk_size) {
      if (chunks_.size() == chunks_.capacity()) chunks_.reserve(2 * chunks_.size() + 1);
      chunks_.push_back(new_chunk());
    }
  }
  // REQUIRES: reserve_one() since the last push.
  void push(double length, const Value& pushed) {
    std::uint32_t slot;
    if (first_free_ == no_slot) {
      slot = nb_slots_++;
    } else {
      slot = first_free_;
      std::memcpy(&first_free_, &value(slot), sizeof(first_free_));
    }
    std::memcpy(static_cast<void*>(&value(slot)), &pushed, sizeof(Value));
    sift_up(size_++, length, slot);
  }

  // Removes the top entry. REQUIRES: !empty().
  void pop() {
    // The freed slot joins the free list, its next link kept in its own bytes.
    const std::uint32_t slot = slots_[0];
    std::memcpy(static_cast<void*>(&value(slot)), &first_free_, sizeof(first_free_));
    first_free_ = slot;
    const std::size_t bottom = --size_;
    if (bottom > 0) sift_down(bottom, lengths_[bottom], slots_[bottom]);
    if (size_ > 0) {
      // The next top is read after a whole split: fetch it now, both lines it may span.
      const char* next = reinterpret_cast<const char*>(&value(slots_[0]));
      __builtin_prefetch(next);
      __builtin_prefetch(next + sizeof(Value) - 1);
    }
  }

  // Keeps the storage, for reuse.
  void clear() {
    size_ = 0;
    nb_slots_ = 0;
    first_free_ = no_slot;
  }

  // Every queued value, in no particular order, for in-place changes that keep what the
  // value means.
  template <typename Visit>
  void for_each(Visit visit) {
    for (std::size_t i = 0; i < size_; ++i) visit(value(slots_[i]));
  }

 private:
  static constexpr std::uint32_t chunk_bits = 14;
  static constexpr std::uint32_t chunk_size = 1u << chunk_bits;
  static constexpr std::uint32_t no_slot = 0xFFFFFFFFu;
  static_assert(sizeof(Value) >= sizeof(std::uint32_t), "a free slot holds a link");

  // Raw storage for `chunk_size` values: a slot holds a value from its push to its pop.
  struct ChunkDeleter {
    void operator()(Value* chunk) const {
      ::operator delete (chunk, std::align_val_t{alignof(Value)});
    }
  };
  using Chunk = std::unique_ptr<Value, ChunkDeleter>;
  static Chunk new_chunk() {
    return Chunk{static_cast<Value*>(
        ::operator new (chunk_size * sizeof(Value), std::align_val_t{alignof(Value)}))};
  }

  Value& value(std::uint32_t slot) const {
    return chunks_[slot >> chunk_bits].get()[slot & (chunk_size - 1)];
  }

  // A heap array whose entry 0 is one entry past a cache line's start.
  static constexpr std::size_t line_bytes = 64;
  struct LineDeleter {
    void operator()(void* array) const {
      ::operator delete (array, std::align_val_t{line_bytes});
    }
  };
  template <typename T>
  using HeapArray = std::unique_ptr<T, LineDeleter>;
  template <typename T>
  static HeapArray<T> new_heap_array(std::size_t capacity) {
    return HeapArray<T>{static_cast<T*>(
        ::operator new ((capacity + 1) * sizeof(T), std::align_val_t{line_bytes}))};
  }

  void sift_up(std::size_t hole, double length, std::uint32_t slot) {
    while (hole > 0) {
      const std::size_t parent = (hole - 1) / 2;
      if (!(lengths_[parent] < length)) break;
      lengths_[hole] = lengths_[parent];
      slots_[hole] = slots_[parent];
      hole = parent;
    }
    lengths_[hole] = length;
    slots_[hole] = slot;
  }

  // Over the first `size` entries, with the hole at 0.
  void sift_down(std::size_t size, double last_length, std::uint32_t last_slot) {
    std::size_t hole = 0;
    std::size_t child = 0;
    while (child < (size - 1) / 2) {
      // Four levels down, sixteen entries in two lines of lengths and one of slots:
      // needed four steps from now.
      const std::size_t below = 16 * hole + 15;
      if (below < size) {
        __builtin_prefetch(lengths_ + below);
        __builtin_prefetch(lengths_ + below + 8);
        __builtin_prefetch(slots_ + below);
      }
      child = 2 * (child + 1);
      child -= static_cast<std::size_t>(lengths_[child] < lengths_[child - 1]);
      lengths_[hole] = lengths_[child];
      slots_[hole] = slots_[child];
      hole = child;
    }
    if ((size & 1) == 0 && child == (size - 2) / 2) {
      child = 2 * (child + 1);
      lengths_[hole] = lengths_[child - 1];
      slots_[hole] = slots_[child - 1];
      hole = child - 1;
    }
    sift_up(hole, last_length, last_slot);
  }

  HeapArray<double> length_storage_;
  HeapArray<std::uint32_t> slot_storage_;
  double* lengths_{nullptr};
  std::uint32_t* slots_{nullptr};
  std::size_t size_{0};
  std::size_t capacity_{0};
  std::vector<Chunk> chunks_;
  std::uint32_t nb_slots_{0};
  std::uint32_t first_free_{no_slot};
};

}  // namespace vemra::detail
