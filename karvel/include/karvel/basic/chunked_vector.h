#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace karvel {

// A growable array in fixed chunks: indexing costs one more load than a std::vector, but
// growing never copies the elements nor holds the old and the new array at once, so a
// large array that grows one element at a time keeps its peak memory at its size.
// REQUIRES: T is default-constructible.
template <typename T, std::size_t ChunkBits = 16>
class ChunkedVector {
 public:
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  T& operator[](std::size_t index) { return chunks_[index >> ChunkBits][index & mask]; }
  const T& operator[](std::size_t index) const {
    return chunks_[index >> ChunkBits][index & mask];
  }

  void push_back(const T& value) {
    if (size_ == chunks_.size() << ChunkBits) {
      chunks_.push_back(std::make_unique<T[]>(std::size_t{1} << ChunkBits));
    }
    (*this)[size_++] = value;
  }
  void pop_back() { --size_; }
  // Keeps the chunks, for reuse.
  void clear() { size_ = 0; }

 private:
  static constexpr std::size_t mask = (std::size_t{1} << ChunkBits) - 1;

  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t size_{0};
};

}  // namespace karvel
