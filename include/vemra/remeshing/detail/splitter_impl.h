#pragma once

// The Splitter's template bodies, for the two instantiations in the library and for tests
// that instantiate it over a test modifier.
//
// split():
//   fill: one task per surface; in each, a parallel loop over its triangles building a
//         candidate and offering it to add_to_queue (metric outside the lock, push under
//         it)
//   loop: pop the longest; split_edge(surface, edge, midpoint); offer the first triangle
//         of every pair (a, b) with a != b that the result lists, from its own surface
//   clean_edges_lines(); clean_triangles_surfaces()

#include <exception>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>

#include <vemra/remeshing/detail/splitter.h>

namespace vemra::detail {

// The one failure of the fill that reaches the caller of split(): a size of zero or less
// where a triangle would be accepted.
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
Splitter<Model, Modifier, D>::~Splitter() = default;

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::add_to_queue(TriangleToSplit candidate) {
  add_to_queue(candidate, Candidates::no_surface);
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::add_to_queue(const TriangleToSplit& candidate,
                                                std::uint32_t surface) {
  const double size = metric_.point_metric(candidate.point);
  if (!(candidate.length > 2.0 * size)) return;
  if (!(size > 0.0)) {
    std::ostringstream message;
    message << "[Splitter] The metric gives a size of " << size << " at "
            << candidate.point << " (surface " << candidate.surface_id << ", triangle "
            << candidate.edge.polygon_id << "): refinement there would never end";
    throw NonPositiveSizeError{message.str()};
  }
  const auto compact = candidates_.compact(candidate, surface);
  absl::MutexLock lock{&mutex_};
  queue_.reserve_one();
  queue_.push(candidate.length, compact ? *compact : candidates_.keep_whole(candidate));
}

template <typename Model, typename Modifier, index_t D>
void Splitter<Model, Modifier, D>::initialize_queue() {
  tbb::task_group surface_tasks;
  absl::Mutex error_mutex;
  std::exception_ptr size_error;
  // The store's table is filled before the tasks, which only read it.
  std::vector<std::uint32_t> store_indices;
  for (const auto& surface : model_.surfaces()) {
    const auto* mesh = dynamic_cast<const TriangulatedSurface<D>*>(&surface.get_mesh());
    store_indices.push_back(mesh ? candidates_.register_surface(surface.id(), *mesh)
                                 : Candidates::no_surface);
  }
  try {
    std::size_t next = 0;
    for (const auto& surface : model_.surfaces()) {
      const std::uint32_t store_index = store_indices[next++];
      surface_tasks.run([this, &surface, store_index, &error_mutex, &size_error] {
        try {
          const auto& mesh =
              dynamic_cast<const TriangulatedSurface<D>&>(surface.get_mesh());
          const uuid& id = surface.id();
          tbb::parallel_for(
              tbb::blocked_range<index_t>{0, mesh.nb_polygons()},
              [this, &id, &mesh, store_index](const tbb::blocked_range<index_t>& range) {
                for (index_t t = range.begin(); t != range.end(); ++t) {
                  add_to_queue(TriangleToSplit{id, mesh, t}, store_index);
                }
              });
        } catch (const NonPositiveSizeError&) {
          absl::MutexLock lock{&error_mutex};
          if (!size_error) size_error = std::current_exception();
        } catch (...) {
          // A failing surface is left out; the others go on.
        }
      });
    }
  } catch (...) {
    // The tasks already running use this Splitter: end them before leaving.
    surface_tasks.cancel();
    surface_tasks.wait();
    throw;
  }
  surface_tasks.wait();
  if (size_error) std::rethrow_exception(size_error);
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
void Splitter<Model, Modifier, D>::split_surface() {
  try {
    initialize_queue();
    while (!queue_.empty()) {
      const TriangleToSplit record = pop_longest();
      const auto& surface = model_.surface(record.surface_id);
      const auto result = modifier_.split_edge(surface, record.edge, record.point);
      for (const auto& [id, splits] : result.surface_splits) {
        const auto& mesh =
            dynamic_cast<const TriangulatedSurface<D>&>(model_.surface(id).get_mesh());
        const std::uint32_t store_index = candidates_.register_surface(id, mesh);
        for (const auto& split : splits) {
          for (const auto* side : {&split.first, &split.second}) {
            for (const auto& [a, b] : side->polygons) {
              if (a != b) add_to_queue(TriangleToSplit{id, mesh, a}, store_index);
            }
          }
        }
      }
    }
  } catch (...) {
    // The records left behind must not depend on meshes that may change before the next
    // split(): keep each one whole. Out of memory even for that, they are dropped.
    try {
      queue_.for_each([this](auto& compact) { candidates_.make_whole(compact); });
    } catch (...) {
      queue_.clear();
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

}  // namespace vemra::detail
