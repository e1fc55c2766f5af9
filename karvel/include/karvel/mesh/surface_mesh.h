#pragma once

#include <absl/container/inlined_vector.h>

#include <karvel/basic/trivial_vector.h>
#include <karvel/geometry/point.h>
#include <karvel/mesh/polygon_handles.h>

namespace karvel {

using PolygonsAroundVertex = absl::InlinedVector<PolygonVertex, 10>;

// The read interface shared by every kind of surface mesh. Reads are safe from many
// threads at once: nothing is computed lazily.
template <index_t D>
class SurfaceMesh {
 public:
  virtual ~SurfaceMesh() = default;
  SurfaceMesh(const SurfaceMesh&) = delete;
  SurfaceMesh& operator=(const SurfaceMesh&) = delete;

  index_t nb_vertices() const { return static_cast<index_t>(points_.size()); }
  const Point<D>& point(index_t vertex) const { return points_[vertex]; }

  virtual index_t nb_polygons() const = 0;
  virtual local_index_t nb_polygon_vertices(index_t polygon) const = 0;
  virtual index_t polygon_vertex(const PolygonVertex& polygon_vertex) const = 0;
  // The polygon across that edge, or NO_ID on a border.
  virtual index_t polygon_adjacent(const PolygonEdge& edge) const = 0;
  // One polygon corner at this vertex, or a default PolygonVertex for an isolated vertex.
  virtual PolygonVertex polygon_around_vertex(index_t vertex) const = 0;

  // Every polygon corner at this vertex, found by walking across edges; on a border the
  // walk covers both sides of the starting corner.
  PolygonsAroundVertex polygons_around_vertex(index_t vertex) const;

  // The two vertices of a polygon edge, in the polygon's order.
  std::array<index_t, 2> polygon_edge_vertices(const PolygonEdge& edge) const;

  bool is_edge_on_border(const PolygonEdge& edge) const {
    return polygon_adjacent(edge) == NO_ID;
  }

 protected:
  SurfaceMesh() = default;

  TrivialVector<Point<D>> points_;
};

extern template class SurfaceMesh<2>;
extern template class SurfaceMesh<3>;

}  // namespace karvel
