#pragma once

// The Splitter's template bodies, for the two instantiations in the library and for tests
// that instantiate it over a test modifier.
//
// split():
//   fill: the triangles of every surface in blocks of a fixed size; a pipeline builds
//         each block's candidates and tests them against the metric in parallel (outside
//         any lock), then pushes each block's accepted candidates in block order, on one
//         thread at a time: the queue receives them in the same order on any number of
//         threads. A failure ends the fill; the first block's failure in that order wins.
//   loop: pop the next (the longest, or in the banded order the last pushed of the
//         longest band, stale records skipped); split_edge(surface, edge, midpoint);
//         offer the first triangle of every pair (a, b) with a != b that the result
//         lists, from its own surface
//   clean_edges_lines(); clean_triangles_surfaces()

#include <algorithm>
#include <exception>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include <vemra/remeshing/detail/splitter.h>

namespace vemra::detail {

// A size of zero or less where a triangle would be accepted: refinement there would never
// end.
class NonPositiveSizeError : public std::domain_error {
 public:
  using std::domain_error::domain_error;
};

template <typename Model, typename Modifier, index_t D>
Splitter<Model, Modifier, D>::TriangleToSplit::TriangleToSplit(
    const uuid& surface, const TriangulatedSurface<D>& mesh, index_t triangle)
    : surface_id{surface} {
  const auto vertices = mesh.triangle(triangle).vertices();
  for (local_index_t i = 0; i < 3; ++i) {
    const double distance =
        karvel::point_point_distance<D>(vertices[i], vertices[(i + 1) % 3]);
    if (distance > length) {
      edge = PolygonEdge{triangle, i};
      length = distance;
    }
  }
  if (edge.edge_id > 2) return;  // no edge of positive length: keep the origin
  point = karvel::midpoint<D>(vertices[edge.edge_id], vertices[(edge.edge_id + 1) % 3]);
}

template <typename Model, typename Modifier, index_t D>
Splitter<Model, Modifier, D>::Splitter(Model& model, const Metric<D>& metric)
    : model_{model}, modifier_{model}, metric_{metric} {}

template <typename Model, typename Modifier, index_t D>
Splitter<Model, Modifier, D>::Splitter(Model& model, const Metric<D>& metric,
                                       SplitOrder order)
    : model_{model}, modifier_{model}, metric_{metric}, order_{order} {}

template <typename Model, typename Modifier, index_t D>
Splitter<Model, Modifier, D>::~Splitter() = default;

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::reserve_one() {
  if (order_ == SplitOrder::banded) {
    bands_.reserve_one();
  } else {
    queue_.reserve_one();
  }
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::push_reserved(
    double length, const typename CandidateStore<TriangleToSplit, D>::Compact& compact) {
  if (order_ == SplitOrder::banded) {
    bands_.push(length, compact);
  } else {
    queue_.push(length, compact);
  }
}

template <typename Model, typename Modifier, index_t D>
std::size_t Splitter<Model, Modifier, D>::queued() const {
  return order_ == SplitOrder::banded ? bands_.size() : queue_.size();
}

template <typename Model, typename Modifier, index_t D>
template <typename Visit>
void Splitter<Model, Modifier, D>::for_each_queued(Visit visit) {
  if (order_ == SplitOrder::banded) {
    bands_.for_each(visit);
  } else {
    queue_.for_each(visit);
  }
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::add_to_queue(TriangleToSplit candidate) {
  add_to_queue(candidate, Candidates::no_surface);
}

template <typename Model, typename Modifier, index_t D>
bool Splitter<Model, Modifier, D>::accepts(const TriangleToSplit& candidate) const {
  const double size = metric_.point_metric(candidate.point);
  if (!(candidate.length > 2.0 * size)) return false;
  if (!(size > 0.0)) {
    std::ostringstream message;
    message << "[Splitter] The metric gives a size of " << size << " at "
            << candidate.point << " (surface " << candidate.surface_id << ", triangle "
            << candidate.edge.polygon_id << "): refinement there would never end";
    throw NonPositiveSizeError{message.str()};
  }
  return true;
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::add_to_queue(const TriangleToSplit& candidate,
                                                std::uint32_t surface) {
  offer(candidate, surface, true);
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::add_from_loop(const TriangleToSplit& candidate,
                                                 std::uint32_t surface) {
  // The exact order keeps the lock of every push; nothing else pushes during the loop.
  offer(candidate, surface, order_ == SplitOrder::exact);
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::offer(const TriangleToSplit& candidate,
                                         std::uint32_t surface, bool lock) {
  if (!accepts(candidate)) return;
  const auto compact = candidates_.compact(candidate, surface);
  std::optional<absl::MutexLock> held;
  if (lock) held.emplace(&mutex_);
  reserve_one();
  push_reserved(candidate.length, compact ? *compact : candidates_.keep_whole(candidate));
}

namespace fill {

// Triangles per block: enough to amortise a block's hand-over, few enough to spread a
// single surface over every worker. Fixed, so that the push order never depends on the
// number of threads.
constexpr index_t block_size = 4096;

// One block's accepted candidates, in triangle order. A candidate without a compact form
// is kept in `whole`, and its entry holds its index there.
template <typename Compact, typename Record>
struct Accepted {
  static constexpr std::uint32_t compact_entry = 0xFFFFFFFFu;
  struct Entry {
    Compact compact;
    double length;
    std::uint32_t whole;
  };
  std::vector<Entry> entries;
  std::vector<Record> whole;
  std::exception_ptr error;
};

}  // namespace fill

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::initialize_queue() {
  using Accepted = fill::Accepted<typename Candidates::Compact, TriangleToSplit>;
  // A block is a run of pieces, each a range of one surface's triangles: small surfaces
  // share a block.
  struct Piece {
    const uuid* surface;
    const TriangulatedSurface<D>* mesh;
    std::uint32_t store_index;
    index_t begin;
    index_t end;
  };
  // The store's table is filled before the pipeline, which only reads it.
  std::vector<Piece> pieces;
  std::vector<std::size_t> block_starts;
  index_t in_block = fill::block_size;
  for (const auto& surface : model_.surfaces()) {
    const auto* mesh = dynamic_cast<const TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) continue;  // not triangulated: not refined
    const std::uint32_t store_index = candidates_.register_surface(surface.id(), *mesh);
    for (index_t begin = 0; begin < mesh->nb_polygons();) {
      if (in_block == fill::block_size) {
        block_starts.push_back(pieces.size());
        in_block = 0;
      }
      const index_t end =
          begin + std::min(fill::block_size - in_block, mesh->nb_polygons() - begin);
      pieces.push_back({&surface.id(), mesh, store_index, begin, end});
      in_block += end - begin;
      begin = end;
    }
  }
  block_starts.push_back(pieces.size());
  const auto evaluate = [this, &pieces, &block_starts](std::size_t block) {
    Accepted accepted;
    try {
      // At most one entry per triangle: no growth on the way.
      accepted.entries.reserve(fill::block_size);
      for (std::size_t p = block_starts[block]; p != block_starts[block + 1]; ++p) {
        const Piece& piece = pieces[p];
        for (index_t t = piece.begin; t != piece.end; ++t) {
          const TriangleToSplit candidate{*piece.surface, *piece.mesh, t};
          if (!accepts(candidate)) continue;
          if (const auto compact = candidates_.compact(candidate, piece.store_index)) {
            accepted.entries.push_back(
                {*compact, candidate.length, Accepted::compact_entry});
          } else {
            accepted.entries.push_back(
                {{}, candidate.length, std::uint32_t(accepted.whole.size())});
            accepted.whole.push_back(candidate);
          }
        }
      }
    } catch (...) {
      accepted.error = std::current_exception();
    }
    return accepted;
  };
  const auto push = [this](const Accepted& accepted) {
    // Blocks arrive in order: the first failure in that order ends the fill.
    if (accepted.error) std::rethrow_exception(accepted.error);
    absl::MutexLock lock{&mutex_};
    for (const auto& entry : accepted.entries) {
      reserve_one();
      push_reserved(entry.length,
                    entry.whole == Accepted::compact_entry
                        ? entry.compact
                        : candidates_.keep_whole(accepted.whole[entry.whole]));
    }
  };
  const std::size_t nb_blocks = block_starts.size() - 1;
  std::size_t next_block = 0;
  const auto next = [nb_blocks, &next_block](tbb::flow_control& control) {
    if (next_block == nb_blocks) control.stop();
    return next_block++;
  };
  const std::size_t tokens = 4 * std::size_t(tbb::this_task_arena::max_concurrency());
  // Isolated: a caller's task group cancelled around us must not end the fill half way,
  // which would pass for a finished one.
  tbb::task_group_context context{tbb::task_group_context::isolated};
  tbb::parallel_pipeline(
      tokens,
      tbb::make_filter<void, std::size_t>(tbb::filter_mode::serial_in_order, next) &
          tbb::make_filter<std::size_t, Accepted>(tbb::filter_mode::parallel, evaluate) &
          tbb::make_filter<Accepted, void>(tbb::filter_mode::serial_in_order, push),
      context);
}

template <typename Model, typename Modifier, index_t D>
typename Splitter<Model, Modifier, D>::TriangleToSplit
Splitter<Model, Modifier, D>::pop_longest() {
  const auto compact = queue_.top();
  const double length = queue_.top_length();
  // The edge's two points arrive while the heap is rebuilt.
  candidates_.prefetch(compact);
  queue_.pop();
  return candidates_.unpack(compact, length);
}

template <typename Model, typename Modifier, index_t D>
bool Splitter<Model, Modifier, D>::pop_next(TriangleToSplit& record) {
  if (order_ == SplitOrder::exact) {
    record = pop_longest();
    return true;
  }
  const auto compact = bands_.top();
  candidates_.prefetch(compact);
  bands_.pop();
  // The next record's triangle arrives while this one is split.
  if (!bands_.empty()) candidates_.prefetch_triangle(bands_.top());
  // A record made stale by an earlier split would find no edge there: skip it here.
  if (!candidates_.current(compact)) return false;
  record = candidates_.unpack(compact, 0.0);  // its length is not kept in bands
  return true;
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::discard_queue() {
  queue_.clear();
  bands_.clear();
  candidates_.clear_whole();
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::split_surface() {
  split_surface(nullptr);
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::split_surface(Follower* follower) {
  try {
    initialize_queue();
  } catch (...) {
    // Nothing was split: another split() finds these candidates again.
    discard_queue();
    throw;
  }
  try {
    if (follower && !follower->filled(queued())) discard_queue();
    TriangleToSplit record{uuid{}, PolygonEdge{}, 0.0, Point<D>{}};
    while (queued() != 0) {
      if (!pop_next(record)) continue;
      const auto& surface = model_.surface(record.surface_id);
      const auto result = modifier_.split_edge(surface, record.edge, record.point);
      for (const auto& [id, splits] : result.surface_splits) {
        const auto& mesh =
            dynamic_cast<const TriangulatedSurface<D>&>(model_.surface(id).get_mesh());
        const std::uint32_t store_index = candidates_.register_surface(id, mesh);
        for (const auto& split : splits) {
          for (const auto* side : {&split.first, &split.second}) {
            for (const auto& [a, b] : side->polygons) {
              if (a != b) add_from_loop(TriangleToSplit{id, mesh, a}, store_index);
            }
          }
        }
      }
      if (follower && !follower->split_done(result, queued())) discard_queue();
    }
  } catch (...) {
    if (!keep_candidates_on_failure_) {
      discard_queue();
      throw;
    }
    // The records left behind must not depend on meshes that may change before the next
    // split(): keep each one whole. Out of memory even for that, they are dropped.
    try {
      for_each_queued([this](auto& compact) { candidates_.make_whole(compact); });
    } catch (...) {
      discard_queue();
    }
    throw;
  }
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::split() {
  split_surface();
  modifier_.clean_edges_lines();
  modifier_.clean_triangles_surfaces();
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::split(Follower& follower) {
  split_surface(&follower);
  follower.loop_done();
  modifier_.clean_edges_lines();
  modifier_.clean_triangles_surfaces();
}

}  // namespace vemra::detail
