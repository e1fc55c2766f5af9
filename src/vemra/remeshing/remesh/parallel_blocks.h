#pragma once

// A loop over independent items of one surface, spread over the pool in fixed blocks
// when there are enough of them: a surface as large as the whole model keeps every core
// busy too.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <vector>

#include <tbb/parallel_for.h>

namespace vemra::remesher {

// Calls body(i) for every i below count, in blocks of `block` items (serially when there
// is only one); body(i) may only write what belongs to item i. A failure is the one a
// serial loop meets first, whatever the threads. Isolated: a caller's task group
// cancelled around it must not skip items.
template <typename Body>
void for_each_item(std::size_t count, const Body& body, std::size_t block = 4096) {
  if (count <= block) {
    for (std::size_t i = 0; i < count; ++i) body(i);
    return;
  }
  const std::size_t blocks = (count + block - 1) / block;
  std::vector<std::exception_ptr> failures(blocks);
  tbb::task_group_context context{tbb::task_group_context::isolated};
  tbb::parallel_for(
      std::size_t{0}, blocks,
      [&](std::size_t b) {
        try {
          const std::size_t end = std::min(count, (b + 1) * block);
          for (std::size_t i = b * block; i < end; ++i) body(i);
        } catch (...) {
          failures[b] = std::current_exception();
        }
      },
      context);
  for (const auto& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace vemra::remesher
