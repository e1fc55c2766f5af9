#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace vemra::detail {

// Values kept by length band, for the banded split order: a band is the top 16 bits of
// the length's double (its exponent and the first 4 bits of its mantissa), 16 bands an
// octave; top() is the most recently pushed value of the highest band. No length is
// stored and nothing is sifted: a push or a pop touches one chunk. Each band is a stack
// of fixed chunks from a shared pool, so the memory is the values' own, 16 bytes each for
// the split candidates, plus at most one chunk in part per band.
//
// NOTE: reserve_one() is the only step that allocates; push() after it cannot fail.
template <typename Value>
class BandedQueue {
  static_assert(std::is_trivially_copyable_v<Value>, "values are moved as bytes");

 public:
  BandedQueue() = default;
  BandedQueue(const BandedQueue&) = delete;
  BandedQueue& operator=(const BandedQueue&) = delete;

  // The band of a length; longer lengths have higher bands. REQUIRES: length > 0 (the
  // sign bit is clear).
  static std::uint32_t band_of(double length) {
    std::uint64_t bits;
    std::memcpy(&bits, &length, sizeof(bits));
    return static_cast<std::uint32_t>(bits >> 48);
  }

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  // REQUIRES: !empty().
  const Value& top() const {
    const Chunk& chunk = *chunks_[top_chunk_[highest_]];
    return chunk.values[chunk.count - 1];
  }

  // Makes room for one more value: the queue is unchanged when it fails.
  void reserve_one() {
    if (top_chunk_.empty()) top_chunk_.assign(nb_bands, none);
    if (free_.empty()) {
      if (chunks_.size() == chunks_.capacity()) chunks_.reserve(2 * chunks_.size() + 1);
      if (free_.capacity() < chunks_.size() + 1) free_.reserve(2 * (chunks_.size() + 1));
      auto chunk = std::make_unique<Chunk>();
      chunks_.push_back(std::move(chunk));
      free_.push_back(static_cast<std::uint32_t>(chunks_.size() - 1));
    }
  }
  // REQUIRES: reserve_one() since the last push.
  void push(double length, const Value& value) {
    const std::uint32_t band = band_of(length);
    std::uint32_t top = top_chunk_[band];
    if (top == none || chunks_[top]->count == chunk_values) {
      const std::uint32_t fresh = free_.back();
      free_.pop_back();
      chunks_[fresh]->count = 0;
      chunks_[fresh]->below = top;
      top_chunk_[band] = top = fresh;
    }
    Chunk& chunk = *chunks_[top];
    std::memcpy(static_cast<void*>(&chunk.values[chunk.count++]), &value, sizeof(Value));
    if (size_++ == 0 || band > highest_) highest_ = band;
  }
  // Removes top(). REQUIRES: !empty().
  void pop() {
    const std::uint32_t top = top_chunk_[highest_];
    if (--chunks_[top]->count == 0) {
      top_chunk_[highest_] = chunks_[top]->below;
      free_.push_back(top);  // cannot fail: free_ holds room for every chunk
    }
    if (--size_ == 0) return;
    while (top_chunk_[highest_] == none) --highest_;
  }

  // Keeps the chunks, for reuse.
  void clear() {
    for (std::uint32_t& top : top_chunk_) {
      for (; top != none; top = chunks_[top]->below) free_.push_back(top);
    }
    size_ = 0;
    highest_ = 0;
  }

  // Every queued value, in no particular order, for in-place changes that keep what the
  // value means.
  template <typename Visit>
  void for_each(Visit visit) {
    for (std::uint32_t top : top_chunk_) {
      for (; top != none; top = chunks_[top]->below) {
        for (std::uint32_t i = 0; i < chunks_[top]->count; ++i)
          visit(chunks_[top]->values[i]);
      }
    }
  }

 private:
  static constexpr std::uint32_t nb_bands = 1u << 15;
  static constexpr std::uint32_t none = 0xFFFFFFFFu;
  static constexpr std::uint32_t chunk_values = (4096 - 8) / sizeof(Value);

  struct Chunk {
    Value values[chunk_values];
    std::uint32_t count{0};
    std::uint32_t below{none};  // the chunk under it in its band's stack
  };

  std::vector<std::unique_ptr<Chunk>> chunks_;
  // Chunks not in use; its capacity always covers every chunk, so a pop never allocates.
  std::vector<std::uint32_t> free_;
  std::vector<std::uint32_t> top_chunk_;  // per band, or none
  std::size_t size_{0};
  std::uint32_t highest_{0};
};

}  // namespace vemra::detail
