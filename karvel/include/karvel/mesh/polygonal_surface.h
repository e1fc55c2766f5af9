#pragma once

#include <vector>

#include <karvel/mesh/surface_mesh.h>

namespace karvel {

template <index_t D>
class PolygonalSurfaceBuilder;

// A surface mesh of general polygons, stored as offsets into one vertex array, with the
// adjacency array parallel to it.
template <index_t D>
class PolygonalSurface final : public SurfaceMesh<D> {
  friend class PolygonalSurfaceBuilder<D>;

 public:
  PolygonalSurface() = default;

  index_t nb_polygons() const override {
    return static_cast<index_t>(offsets_.size() - 1);
  }
  local_index_t nb_polygon_vertices(index_t polygon) const override {
    return static_cast<local_index_t>(offsets_[polygon + 1] - offsets_[polygon]);
  }
  index_t polygon_vertex(const PolygonVertex& corner) const override {
    return vertices_[offsets_[corner.polygon_id] + corner.vertex_id];
  }
  index_t polygon_adjacent(const PolygonEdge& edge) const override {
    return adjacents_[offsets_[edge.polygon_id] + edge.edge_id];
  }
  PolygonVertex polygon_around_vertex(index_t vertex) const override;

 private:
  std::vector<index_t> offsets_{0};
  std::vector<index_t> vertices_;
  std::vector<index_t> adjacents_;
  std::vector<PolygonVertex> vertex_corners_;
};

extern template class PolygonalSurface<2>;
extern template class PolygonalSurface<3>;

}  // namespace karvel
