#include "output_rows.h"

namespace vemra::python {
namespace {

// Grows `values` to `size` and writes one byte in every page of the new part: the
// writer that follows, which writes every value, finds them mapped.
template <typename T>
void grow_touched(karvel::TrivialVector<T>& values, std::size_t size) {
  const std::size_t old_size = values.size();
  if (size <= old_size) return;
  values.resize_for_overwrite(size);
  constexpr std::size_t page_bytes = 4096;
  auto* bytes = reinterpret_cast<volatile char*>(values.data());
  // From the start of the page where the new part begins: no page is left out.
  for (std::size_t at = old_size * sizeof(T) / page_bytes * page_bytes;
       at < size * sizeof(T); at += page_bytes) {
    bytes[at] = 0;
  }
}

}  // namespace

RowPrefaulter::RowPrefaulter(Rows& rows, std::size_t dimension)
    : rows_{rows}, dimension_{dimension}, thread_{[this] { run(); }} {}

RowPrefaulter::~RowPrefaulter() {
  {
    const std::lock_guard<std::mutex> lock{mutex_};
    done_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void RowPrefaulter::follow(std::size_t triangles) {
  {
    const std::lock_guard<std::mutex> lock{mutex_};
    wanted_ = triangles;
  }
  wake_.notify_one();
}

void RowPrefaulter::run() {
  std::size_t grown = 0;
  for (;;) {
    std::size_t wanted = 0;
    {
      std::unique_lock<std::mutex> lock{mutex_};
      wake_.wait(lock, [&] { return done_ || wanted_ > grown; });
      if (done_) return;
      wanted = wanted_;
    }
    try {
      grow_to(wanted);
    } catch (const std::bad_alloc&) {
      // Only a head start: the filler grows the rows itself and reports the shortage.
      return;
    }
    grown = wanted;
  }
}

void RowPrefaulter::grow_to(std::size_t triangles) {
  grow_touched(rows_.triangles, 3 * triangles);
  grow_touched(rows_.patches, triangles);
  grow_touched(rows_.origin, triangles);
  // About one point for two triangles on a closed surface; fewer where surfaces share
  // lines, a few more along open borders.
  grow_touched(rows_.points, dimension_ * (triangles / 2));
}

}  // namespace vemra::python
