#pragma once

// The rows the Python result is made of, and their first touch ahead of time.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <karvel/basic/trivial_vector.h>

namespace vemra::python {

// Large blocks ask for large pages (a few faults, not one per 4 KiB page), and are
// handed to NumPy as they are.
struct Rows {
  karvel::TrivialVector<double> points;
  karvel::TrivialVector<std::int64_t> triangles;
  karvel::TrivialVector<std::int64_t> patches;
  karvel::TrivialVector<std::int64_t> origin;
  std::size_t nb_points{0};
};

// Grows the rows and touches their pages on a thread of its own while a refinement runs,
// following the model's triangle count. The refinement's split loop keeps one core, and
// the first touch of a fresh page is the dearest part of filling hundreds of megabytes of
// rows (up to a third of everything the wrapper adds, on a system that is slow to hand
// out memory). The rows never grow past the triangles reported (the points past half of
// them, about what a closed surface has), so next to nothing is touched that the result
// will not hold; the filler grows them the rest of the way.
class RowPrefaulter {
 public:
  RowPrefaulter(Rows& rows, std::size_t dimension);
  ~RowPrefaulter();
  RowPrefaulter(const RowPrefaulter&) = delete;
  RowPrefaulter& operator=(const RowPrefaulter&) = delete;

  // The model has `triangles` triangles now. Does not wait for the growth.
  void follow(std::size_t triangles);

 private:
  void run();
  void grow_to(std::size_t triangles);

  Rows& rows_;
  std::size_t dimension_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::size_t wanted_{0};
  bool done_{false};
  std::thread thread_;
};

}  // namespace vemra::python
