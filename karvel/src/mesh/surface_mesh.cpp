#include <karvel/mesh/surface_mesh.h>

namespace karvel {
namespace {

template <index_t D>
local_index_t local_index_of(const SurfaceMesh<D>& mesh, index_t polygon,
                             index_t vertex) {
  const auto size = mesh.nb_polygon_vertices(polygon);
  for (local_index_t v = 0; v < size; ++v) {
    if (mesh.polygon_vertex({polygon, v}) == vertex) return v;
  }
  return NO_LID;
}

}  // namespace

template <index_t D>
PolygonsAroundVertex SurfaceMesh<D>::polygons_around_vertex(index_t vertex) const {
  PolygonsAroundVertex result;
  const auto start = polygon_around_vertex(vertex);
  if (start.polygon_id == NO_ID) return result;
  // Forward: across the edge that starts at the vertex.
  auto current = start;
  do {
    result.push_back(current);
    const index_t next = polygon_adjacent({current.polygon_id, current.vertex_id});
    if (next == NO_ID) break;
    current = {next, local_index_of(*this, next, vertex)};
  } while (current.polygon_id != start.polygon_id);
  if (current.polygon_id == start.polygon_id && result.size() > 1) return result;
  // Backward from the start: across the edge that ends at the vertex.
  current = start;
  while (true) {
    const auto size = nb_polygon_vertices(current.polygon_id);
    const auto previous_edge =
        static_cast<local_index_t>((current.vertex_id + size - 1) % size);
    const index_t previous = polygon_adjacent({current.polygon_id, previous_edge});
    if (previous == NO_ID || previous == start.polygon_id) break;
    current = {previous, local_index_of(*this, previous, vertex)};
    result.push_back(current);
  }
  return result;
}

template <index_t D>
std::array<index_t, 2> SurfaceMesh<D>::polygon_edge_vertices(
    const PolygonEdge& edge) const {
  const auto size = nb_polygon_vertices(edge.polygon_id);
  return {polygon_vertex({edge.polygon_id, edge.edge_id}),
          polygon_vertex(
              {edge.polygon_id, static_cast<local_index_t>((edge.edge_id + 1) % size)})};
}

template class SurfaceMesh<2>;
template class SurfaceMesh<3>;

}  // namespace karvel
