#pragma once

// One number per point of a model's surfaces, for writers: a model vertex is one point
// wherever it appears (on a line, at a pinched vertex), so the written surfaces are
// conforming; a surface vertex that no model vertex ties gets a point of its own.

#include <algorithm>
#include <atomic>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <karvel/basic/trivial_vector.h>
#include <karvel/mesh/triangulated_surface.h>

namespace vemra::tool {

using karvel::index_t;

template <typename Model>
class ModelNumbering {
 public:
  static constexpr index_t D = Model::dim;

  // Surfaces of `parallel_from` vertices or more are numbered in parallel, to the same
  // numbers.
  explicit ModelNumbering(const Model& model, index_t parallel_from = index_t{1} << 14);

  index_t nb_points() const { return static_cast<index_t>(sources_.size()); }
  // The point numbered `number`, in 3-D (z = 0 for a section).
  std::array<double, 3> point(index_t number) const {
    const auto& source = sources_[number];
    const auto& p = surfaces_[source.surface].mesh->point(source.vertex);
    std::array<double, 3> xyz{};
    for (index_t axis = 0; axis < D; ++axis) xyz[axis] = p.value(axis);
    return xyz;
  }

  struct Surface {
    const karvel::Surface<D>* surface;
    const karvel::TriangulatedSurface<D>* mesh;
    index_t slot;
    std::vector<index_t> untied;  // numbers of vertices without a model vertex, or empty
    index_t first_number;         // of the points numbered with this surface
  };
  // The triangulated surfaces, in the model's order.
  const std::vector<Surface>& surfaces() const { return surfaces_; }
  index_t nb_triangles() const { return nb_triangles_; }
  // The number of a model vertex that a surface holds, or NO_ID.
  index_t number_of_unique(index_t unique) const {
    return unique < of_unique_.size() ? of_unique_[unique] : karvel::NO_ID;
  }
  // The points numbered first for surfaces()[surface]: [first, end).
  std::array<index_t, 2> numbered_with(index_t surface) const {
    return {surfaces_[surface].first_number, surface + 1 < surfaces_.size()
                                                 ? surfaces_[surface + 1].first_number
                                                 : nb_points()};
  }
  // The number of vertex `vertex` of surfaces()[surface].
  index_t number(index_t surface, index_t vertex) const {
    const auto& s = surfaces_[surface];
    if (!s.untied.empty() && s.untied[vertex] != karvel::NO_ID) return s.untied[vertex];
    return of_unique_[model_.unique_vertex(s.slot, vertex)];
  }

 private:
  struct Source {
    index_t surface;
    index_t vertex;
  };
  void number_points_of(index_t surface, index_t parallel_from);
  const Model& model_;
  std::vector<Surface> surfaces_;
  // Arrays of one value per point: filled in parallel, never zero-filled first.
  karvel::TrivialVector<index_t> of_unique_;
  karvel::TrivialVector<Source> sources_;
  index_t nb_triangles_{0};
};

template <typename Model>
ModelNumbering<Model>::ModelNumbering(const Model& model, index_t parallel_from)
    : model_{model} {
  of_unique_.resize_for_overwrite(model.nb_unique_vertices());
  tbb::parallel_for(tbb::blocked_range<std::size_t>{0, of_unique_.size()},
                    [&](const tbb::blocked_range<std::size_t>& range) {
                      std::fill(of_unique_.begin() + range.begin(),
                                of_unique_.begin() + range.end(), karvel::NO_ID);
                    });
  surfaces_.reserve(model.nb_surfaces());
  for (const auto& surface : model.surfaces()) {
    const auto* mesh =
        dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) continue;
    surfaces_.push_back({&surface,
                         mesh,
                         model.component_slot(surface.id()),
                         {},
                         static_cast<index_t>(sources_.size())});
    number_points_of(static_cast<index_t>(surfaces_.size() - 1), parallel_from);
    nb_triangles_ += mesh->nb_polygons();
  }
}

// A vertex gets the next number when it has no model vertex, or when it is the first of
// its model vertex: in the surfaces' order, then in the surface's vertex order. A large
// surface is numbered in parallel with the same result: which vertices take a number is
// decided from the earlier surfaces alone, the numbers follow from a count.
template <typename Model>
void ModelNumbering<Model>::number_points_of(index_t s, index_t parallel_from) {
  Surface& entry = surfaces_[s];
  const index_t nb_vertices = entry.mesh->nb_vertices();
  const auto unique_of = [&](index_t v) {
    return entry.slot == karvel::NO_ID ? karvel::NO_ID
                                       : model_.unique_vertex(entry.slot, v);
  };
  const auto take = [&](index_t v, index_t unique, index_t number) {
    if (unique == karvel::NO_ID) {
      entry.untied[v] = number;
    } else {
      of_unique_[unique] = number;
    }
    sources_[number] = {s, v};
  };
  if (nb_vertices < parallel_from) {
    for (index_t v = 0; v < nb_vertices; ++v) {
      const index_t unique = unique_of(v);
      if (unique != karvel::NO_ID && of_unique_[unique] != karvel::NO_ID) continue;
      if (unique == karvel::NO_ID && entry.untied.empty()) {
        entry.untied.assign(nb_vertices, karvel::NO_ID);
      }
      sources_.push_back({});
      take(v, unique, static_cast<index_t>(sources_.size() - 1));
    }
    return;
  }
  // The first vertex of this surface at its model vertex: alone there, or the lowest of
  // the surface's vertices there (a pinched vertex).
  const auto first_here = [&](index_t v, index_t unique) {
    if (model_.held_alone(entry.slot, v)) return true;
    bool first = true;
    model_.for_each_vertex_in_slot(unique, entry.slot,
                                   [&](index_t other) { first = first && other >= v; });
    return first;
  };
  karvel::TrivialVector<index_t> numbered;
  numbered.resize_for_overwrite(nb_vertices);
  std::atomic<bool> any_untied{false};
  tbb::parallel_for(
      tbb::blocked_range<index_t>{0, nb_vertices},
      [&](const tbb::blocked_range<index_t>& range) {
        for (index_t v = range.begin(); v != range.end(); ++v) {
          const index_t unique = unique_of(v);
          if (unique == karvel::NO_ID) any_untied = true;
          numbered[v] = unique == karvel::NO_ID ||
                        (of_unique_[unique] == karvel::NO_ID && first_here(v, unique));
        }
      });
  if (any_untied) entry.untied.assign(nb_vertices, karvel::NO_ID);
  // numbered[v] becomes the number v takes, when it takes one.
  auto next = static_cast<index_t>(sources_.size());
  for (index_t& at : numbered) {
    const index_t takes = at;
    at = next;
    next += takes;
  }
  sources_.resize_for_overwrite(next);
  tbb::parallel_for(tbb::blocked_range<index_t>{0, nb_vertices},
                    [&](const tbb::blocked_range<index_t>& range) {
                      for (index_t v = range.begin(); v != range.end(); ++v) {
                        const bool takes = v + 1 < nb_vertices
                                               ? numbered[v + 1] != numbered[v]
                                               : next != numbered[v];
                        if (takes) take(v, unique_of(v), numbered[v]);
                      }
                    });
}

}  // namespace vemra::tool
