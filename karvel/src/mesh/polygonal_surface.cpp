#include <karvel/mesh/polygonal_surface.h>
#include <karvel/mesh/polygonal_surface_builder.h>

#include <string>

#include <karvel/basic/exception.h>

#include <karvel/mesh/adjacency.h>

namespace karvel {
namespace {

struct PolygonAccess {
  const std::vector<index_t>& offsets;
  const std::vector<index_t>& vertices;
  index_t nb_polygons() const { return static_cast<index_t>(offsets.size() - 1); }
  index_t size(index_t polygon) const { return offsets[polygon + 1] - offsets[polygon]; }
  index_t vertex(index_t polygon, index_t i) const {
    return vertices[offsets[polygon] + i];
  }
  index_t slot(index_t polygon, index_t i) const { return offsets[polygon] + i; }
};

}  // namespace

template <index_t D>
PolygonVertex PolygonalSurface<D>::polygon_around_vertex(index_t vertex) const {
  return vertex_corners_[vertex];
}

template <index_t D>
index_t PolygonalSurfaceBuilder<D>::create_point(const Point<D>& point) {
  mesh_.points_.push_back(point);
  mesh_.vertex_corners_.emplace_back();
  return mesh_.nb_vertices() - 1;
}

template <index_t D>
index_t PolygonalSurfaceBuilder<D>::create_polygon(absl::Span<const index_t> vertices) {
  const index_t polygon = mesh_.nb_polygons();
  if (vertices.size() < 3 || vertices.size() >= NO_LID) {
    throw KarvelException{"[PolygonalSurfaceBuilder::create_polygon] New polygon " +
                          std::to_string(polygon) + " has " +
                          std::to_string(vertices.size()) + " vertices"};
  }
  for (const index_t vertex : vertices) {
    if (vertex >= mesh_.nb_vertices()) {
      throw KarvelException{"[PolygonalSurfaceBuilder::create_polygon] Vertex " +
                            std::to_string(vertex) + " of new polygon " +
                            std::to_string(polygon) + " is out of range"};
    }
  }
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    mesh_.vertices_.push_back(vertices[i]);
    mesh_.adjacents_.push_back(NO_ID);
    if (mesh_.vertex_corners_[vertices[i]].polygon_id == NO_ID) {
      mesh_.vertex_corners_[vertices[i]] = {polygon, static_cast<local_index_t>(i)};
    }
  }
  mesh_.offsets_.push_back(static_cast<index_t>(mesh_.vertices_.size()));
  return polygon;
}

template <index_t D>
void PolygonalSurfaceBuilder<D>::compute_polygon_adjacencies() {
  const auto problem = detail::compute_adjacencies(
      mesh_.nb_vertices(), PolygonAccess{mesh_.offsets_, mesh_.vertices_},
      mesh_.adjacents_);
  if (problem) {
    throw KarvelException{
        "[PolygonalSurfaceBuilder] Polygons " + std::to_string(problem->polygon) +
        " and " + std::to_string(problem->other_polygon) +
        " cannot be linked across edge (" + std::to_string(problem->from_vertex) + ", " +
        std::to_string(problem->to_vertex) + ")"};
  }
}

template <index_t D>
void PolygonalSurfaceBuilder<D>::copy(const PolygonalSurface<D>& source) {
  mesh_.points_ = source.points_;
  mesh_.offsets_ = source.offsets_;
  mesh_.vertices_ = source.vertices_;
  mesh_.adjacents_ = source.adjacents_;
  mesh_.vertex_corners_ = source.vertex_corners_;
}

template class PolygonalSurface<2>;
template class PolygonalSurface<3>;
template class PolygonalSurfaceBuilder<2>;
template class PolygonalSurfaceBuilder<3>;

}  // namespace karvel
