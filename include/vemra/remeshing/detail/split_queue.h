#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace vemra::detail {

// A max-heap of records by their `length`, in exactly the order of a standard binary heap
// (std::push_heap / std::pop_heap under a less-than on `length`), tie rules included:
//   push: append, then move the new key up past every parent strictly shorter;
//   pop:  move the last key out and the top to the end; sift the hole down to the bottom,
//         taking the right child unless the left one is strictly longer (and the lone
//         left child of an even-sized heap); then move the old last key up from there.
// The heap holds 16-byte keys (a length and the slot of its record) and the records wait
// in slots that are reused (free ones linked through their own bytes), so sifting through
// millions of candidates moves small keys, four to a cache line, and prefetches the
// levels below before it reaches them. The slots come in fixed chunks: growing never
// copies the records nor holds two arrays of them at once.
//
// NOTE: push() gives the strong guarantee: when growing the storage fails, the queue is
// unchanged. pop() never allocates.
template <typename Record>
class SplitQueue {
 public:
  SplitQueue() = default;
  SplitQueue(const SplitQueue&) = delete;
  SplitQueue& operator=(const SplitQueue&) = delete;
  ~SplitQueue() {
    for (const Key& key : keys_) std::destroy_at(&record(key.slot));
  }

  bool empty() const { return keys_.empty(); }
  std::size_t size() const { return keys_.size(); }
  const Record& top() const { return record(keys_.front().slot); }

  void push(Record candidate) {
    reserve_for_push();
    std::uint32_t slot;
    if (first_free_ == no_slot) {
      slot = nb_slots_++;
    } else {
      slot = first_free_;
      std::memcpy(&first_free_, &record(slot), sizeof(first_free_));
    }
    ::new (static_cast<void*>(&record(slot))) Record(std::move(candidate));
    keys_.push_back({record(slot).length, slot});
    sift_up(keys_.size() - 1, 0, keys_.back());
  }

  // Removes the top record. REQUIRES: !empty().
  void pop() {
    // The freed slot joins the free list, its next link kept in its own bytes.
    const std::uint32_t slot = keys_.front().slot;
    std::destroy_at(&record(slot));
    std::memcpy(static_cast<void*>(&record(slot)), &first_free_, sizeof(first_free_));
    first_free_ = slot;
    const std::size_t bottom = keys_.size() - 1;
    if (bottom > 0) {
      const Key last = keys_[bottom];
      keys_[bottom] = keys_[0];
      sift_down(bottom, last);
    }
    keys_.pop_back();
    if (!keys_.empty()) __builtin_prefetch(&record(keys_.front().slot));
  }

 private:
  struct Key {
    double length;
    std::uint32_t slot;
  };

  static constexpr std::uint32_t chunk_bits = 14;
  static constexpr std::uint32_t chunk_size = 1u << chunk_bits;
  static constexpr std::uint32_t no_slot = 0xFFFFFFFFu;
  static_assert(sizeof(Record) >= sizeof(std::uint32_t), "a free slot holds a link");

  // Raw storage for `chunk_size` records: a slot holds a record from its push to its pop.
  struct ChunkDeleter {
    void operator()(Record* chunk) const {
      ::operator delete (chunk, std::align_val_t{alignof(Record)});
    }
  };
  using Chunk = std::unique_ptr<Record, ChunkDeleter>;
  static Chunk new_chunk() {
    return Chunk{static_cast<Record*>(
        ::operator new (chunk_size * sizeof(Record), std::align_val_t{alignof(Record)}))};
  }

  Record& record(std::uint32_t slot) const {
    return chunks_[slot >> chunk_bits].get()[slot & (chunk_size - 1)];
  }

  void reserve_for_push() {
    if (keys_.size() == keys_.capacity()) {
      keys_.reserve(std::max<std::size_t>(16, keys_.size() + keys_.size() / 2));
    }
    if (first_free_ == no_slot && nb_slots_ == chunks_.size() * chunk_size) {
      if (chunks_.size() == chunks_.capacity()) chunks_.reserve(2 * chunks_.size() + 1);
      chunks_.push_back(new_chunk());
    }
  }

  void sift_up(std::size_t hole, std::size_t top, Key key) {
    while (hole > top) {
      const std::size_t parent = (hole - 1) / 2;
      if (!(keys_[parent].length < key.length)) break;
      keys_[hole] = keys_[parent];
      hole = parent;
    }
    keys_[hole] = key;
  }

  // Over the first `size` keys, with the hole at 0.
  void sift_down(std::size_t size, Key last) {
    std::size_t hole = 0;
    std::size_t child = 0;
    const Key* keys = keys_.data();
    while (child < (size - 1) / 2) {
      // The keys three levels below are needed three steps from now: fetch them early.
      const std::size_t below = 8 * hole + 7;
      for (std::size_t k = below; k < std::min(below + 8, size); k += 4) {
        __builtin_prefetch(keys + k);
      }
      child = 2 * (child + 1);
      if (keys_[child].length < keys_[child - 1].length) --child;
      keys_[hole] = keys_[child];
      hole = child;
    }
    if ((size & 1) == 0 && child == (size - 2) / 2) {
      child = 2 * (child + 1);
      keys_[hole] = keys_[child - 1];
      hole = child - 1;
    }
    sift_up(hole, 0, last);
  }

  std::vector<Key> keys_;
  std::vector<Chunk> chunks_;
  std::uint32_t nb_slots_{0};
  std::uint32_t first_free_{no_slot};
};

}  // namespace vemra::detail
