#pragma once

// One number per point of a model's surfaces, for writers: a model vertex is one point
// wherever it appears (on a line, at a pinched vertex), so the written surfaces are
// conforming; a surface vertex that no model vertex ties gets a point of its own.

#include <vector>

#include <karvel/mesh/triangulated_surface.h>

namespace vemra::tool {

using karvel::index_t;

template <typename Model>
class ModelNumbering {
 public:
  static constexpr index_t D = Model::dim;

  explicit ModelNumbering(const Model& model);

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
  const Model& model_;
  std::vector<Surface> surfaces_;
  std::vector<index_t> of_unique_;
  std::vector<Source> sources_;
  index_t nb_triangles_{0};
};

template <typename Model>
ModelNumbering<Model>::ModelNumbering(const Model& model)
    : model_{model}, of_unique_(model.nb_unique_vertices(), karvel::NO_ID) {
  surfaces_.reserve(model.nb_surfaces());
  for (const auto& surface : model.surfaces()) {
    const auto* mesh =
        dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) continue;
    Surface entry{&surface,
                  mesh,
                  model.component_slot(surface.id()),
                  {},
                  static_cast<index_t>(sources_.size())};
    const auto index = static_cast<index_t>(surfaces_.size());
    for (index_t v = 0; v < mesh->nb_vertices(); ++v) {
      const index_t unique = entry.slot == karvel::NO_ID
                                 ? karvel::NO_ID
                                 : model.unique_vertex(entry.slot, v);
      if (unique == karvel::NO_ID) {
        if (entry.untied.empty()) entry.untied.assign(mesh->nb_vertices(), karvel::NO_ID);
        entry.untied[v] = static_cast<index_t>(sources_.size());
        sources_.push_back({index, v});
      } else if (of_unique_[unique] == karvel::NO_ID) {
        of_unique_[unique] = static_cast<index_t>(sources_.size());
        sources_.push_back({index, v});
      }
    }
    nb_triangles_ += mesh->nb_polygons();
    surfaces_.push_back(std::move(entry));
  }
}

}  // namespace vemra::tool
