#pragma once

#include <absl/types/span.h>

#include <karvel/mesh/polygonal_surface.h>

namespace karvel {

// Creates the elements of a PolygonalSurface.
template <index_t D>
class PolygonalSurfaceBuilder {
 public:
  explicit PolygonalSurfaceBuilder(PolygonalSurface<D>& mesh) : mesh_{mesh} {}

  index_t create_point(const Point<D>& point);
  // Appends a polygon of three or more vertices with no neighbours.
  // Throws KarvelException for a vertex out of range or fewer than three vertices.
  index_t create_polygon(absl::Span<const index_t> vertices);
  // Links every polygon to its neighbours. Throws KarvelException as
  // TriangulatedSurfaceBuilder::compute_triangle_adjacencies does.
  void compute_polygon_adjacencies();
  // Deep copy of `source` into the (empty) mesh of this builder.
  void copy(const PolygonalSurface<D>& source);

 private:
  PolygonalSurface<D>& mesh_;
};

extern template class PolygonalSurfaceBuilder<2>;
extern template class PolygonalSurfaceBuilder<3>;

}  // namespace karvel
