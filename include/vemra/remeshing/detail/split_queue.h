#pragma once

#include <algorithm>
#include <cstdint>
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
// in slots that are reused, so sifting through millions of candidates moves small keys,
// four to a cache line, and prefetches the levels below before it reaches them.
//
// NOTE: push() gives the strong guarantee: when growing the storage fails, the queue is
// unchanged. pop() never allocates.
template <typename Record>
class SplitQueue {
 public:
  bool empty() const { return keys_.empty(); }
  std::size_t size() const { return keys_.size(); }
  const Record& top() const { return records_[keys_.front().slot]; }

  void push(Record record) {
    reserve_for_push();
    std::uint32_t slot;
    if (free_slots_.empty()) {
      slot = static_cast<std::uint32_t>(records_.size());
      records_.push_back(std::move(record));
    } else {
      slot = free_slots_.back();
      free_slots_.pop_back();
      records_[slot] = std::move(record);
    }
    keys_.push_back({records_[slot].length, slot});
    sift_up(keys_.size() - 1, 0, keys_.back());
  }

  // Removes the top record. REQUIRES: !empty().
  void pop() {
    free_slots_.push_back(keys_.front().slot);
    const std::size_t bottom = keys_.size() - 1;
    if (bottom > 0) {
      const Key last = keys_[bottom];
      keys_[bottom] = keys_[0];
      sift_down(bottom, last);
    }
    keys_.pop_back();
    if (!keys_.empty()) __builtin_prefetch(&records_[keys_.front().slot]);
  }

 private:
  struct Key {
    double length;
    std::uint32_t slot;
  };

  void reserve_for_push() {
    if (keys_.size() == keys_.capacity()) {
      keys_.reserve(std::max<std::size_t>(16, 2 * keys_.size()));
    }
    if (free_slots_.empty() && records_.size() == records_.capacity()) {
      const std::size_t capacity = std::max<std::size_t>(16, 2 * records_.size());
      records_.reserve(capacity);
      free_slots_.reserve(capacity);
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
  std::vector<Record> records_;
  std::vector<std::uint32_t> free_slots_;
};

}  // namespace vemra::detail
