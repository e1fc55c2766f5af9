#pragma once

// Reaches the Splitter's private steps, for the tests and the benchmarks.

#include <vector>

#include <vemra/remeshing/detail/splitter_impl.h>

namespace vemra::detail {

template <typename S>
struct SplitterAccess {
  static void add(S& splitter, const typename S::TriangleToSplit& candidate) {
    splitter.add_to_queue(candidate);
  }
  static void fill(S& splitter) { splitter.initialize_queue(); }
  static std::size_t queued(const S& splitter) { return splitter.queue_.size(); }
  static auto& modifier(S& splitter) { return splitter.modifier_; }
  // Pops the whole queue, longest first.
  static std::vector<typename S::TriangleToSplit> drain(S& splitter) {
    std::vector<typename S::TriangleToSplit> records;
    while (!splitter.queue_.empty()) records.push_back(splitter.pop_longest());
    return records;
  }
};

}  // namespace vemra::detail
