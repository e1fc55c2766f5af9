#pragma once

#include <array>
#include <vector>

#include <karvel/geometry/basic_objects.h>
#include <karvel/mesh/surface_mesh.h>

namespace karvel {

template <index_t D>
class TriangulatedSurfaceBuilder;

// A surface mesh of triangles in flat arrays: local edge i of triangle t is slot 3t + i
// of the vertex and adjacency arrays, and joins vertex i to vertex (i + 1) mod 3.
template <index_t D>
class TriangulatedSurface final : public SurfaceMesh<D> {
  friend class TriangulatedSurfaceBuilder<D>;

 public:
  TriangulatedSurface() = default;

  index_t nb_polygons() const override {
    return static_cast<index_t>(vertices_.size() / 3);
  }
  local_index_t nb_polygon_vertices(index_t /*polygon*/) const override { return 3; }
  index_t polygon_vertex(const PolygonVertex& corner) const override {
    return vertices_[3 * corner.polygon_id + corner.vertex_id];
  }
  index_t polygon_adjacent(const PolygonEdge& edge) const override {
    return adjacents_[3 * edge.polygon_id + edge.edge_id];
  }
  PolygonVertex polygon_around_vertex(index_t vertex) const override {
    const index_t corner = vertex_corners_[vertex];
    if (corner == NO_ID) return {};
    return {corner / 3, static_cast<local_index_t>(corner % 3)};
  }

  // The triangle's points, in its vertex order.
  Triangle<D> triangle(index_t triangle) const {
    const index_t* v = &vertices_[3 * triangle];
    return {this->points_[v[0]], this->points_[v[1]], this->points_[v[2]]};
  }
  std::array<index_t, 3> triangle_vertices(index_t triangle) const {
    const index_t* v = &vertices_[3 * triangle];
    return {v[0], v[1], v[2]};
  }
  std::array<index_t, 3> triangle_adjacents(index_t triangle) const {
    const index_t* a = &adjacents_[3 * triangle];
    return {a[0], a[1], a[2]};
  }
  // Starts fetching the triangle's vertices, for a caller that reads them a little later.
  void prefetch_triangle(index_t triangle) const {
    __builtin_prefetch(&vertices_[3 * triangle]);
  }
  // The two vertices of a triangle edge, in the triangle's order.
  std::array<index_t, 2> triangle_edge_vertices(const PolygonEdge& edge) const {
    const index_t* v = &vertices_[3 * edge.polygon_id];
    return {v[edge.edge_id], v[edge.edge_id == 2 ? 0 : edge.edge_id + 1]};
  }
  // The local edge of `triangle` that joins vertices `from` and `to` in this order, or
  // NO_LID.
  local_index_t edge_from_vertices(index_t triangle, index_t from, index_t to) const {
    const index_t* v = &vertices_[3 * triangle];
    for (local_index_t e = 0; e < 3; ++e) {
      if (v[e] == from && v[(e + 1) % 3] == to) return e;
    }
    return NO_LID;
  }

 private:
  TrivialVector<index_t> vertices_;
  TrivialVector<index_t> adjacents_;
  TrivialVector<index_t> vertex_corners_;
};

extern template class TriangulatedSurface<2>;
extern template class TriangulatedSurface<3>;

}  // namespace karvel
