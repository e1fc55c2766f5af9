#pragma once

#include <array>
#include <vector>

#include <karvel/mesh/adjacency.h>
#include <karvel/mesh/triangulated_surface.h>

namespace karvel {

// What splitting one edge did: the triangle on each side of the edge was reshaped in
// place (it keeps the half at the edge's first vertex) and one triangle was created for
// the other half. The second side is NO_ID when the edge was on the border.
struct TriangleEdgeSplit {
  std::array<index_t, 2> reshaped{NO_ID, NO_ID};
  std::array<index_t, 2> created{NO_ID, NO_ID};
};

// Creates and changes the elements of a TriangulatedSurface, keeping adjacency exact
// through every change that it makes itself.
template <index_t D>
class TriangulatedSurfaceBuilder {
 public:
  explicit TriangulatedSurfaceBuilder(TriangulatedSurface<D>& mesh) : mesh_{mesh} {}

  void reserve(index_t nb_vertices, index_t nb_triangles);
  index_t create_point(const Point<D>& point);
  void set_point(index_t vertex, const Point<D>& point) { mesh_.points_[vertex] = point; }
  // Appends a triangle with no neighbours; compute_triangle_adjacencies() links it.
  // Throws KarvelException for a vertex index out of range.
  index_t create_triangle(const std::array<index_t, 3>& vertices);

  // Links every triangle to its neighbours from the triangle vertices alone.
  // Throws KarvelException, naming the triangles and vertices, when an edge is shared by
  // more than two triangles or two neighbours use it in the same direction.
  void compute_triangle_adjacencies();
  // The same, returning the first problem instead of throwing (the links are then
  // partial), for callers that name the triangles in their own terms.
  std::optional<detail::AdjacencyProblem> link_triangles();

  // Where the triangles around a vertex form several fans that touch only at it (a
  // pinched vertex), gives every fan but the first (in triangle order) a new vertex at
  // the same point, so that each vertex has one fan. Adjacency is unchanged. Returns,
  // for each new vertex in creation order, the vertex it was split from (empty when
  // every vertex had one fan). REQUIRES: the triangles are linked.
  std::vector<index_t> separate_vertex_fans();

  // Splits local edge `edge` at the existing vertex `new_vertex`, in the triangle and in
  // its neighbour across that edge. Each of the two keeps its orientation: it is reshaped
  // into the half at the first vertex of its own side, and a new triangle (appended)
  // takes the other half. All other triangle indices stay valid. O(1).
  TriangleEdgeSplit split_edge(const PolygonEdge& edge, index_t new_vertex);

  // Rewrites every vertex v of every triangle as representative[v] (to merge vertices),
  // removes the triangles that then repeat a vertex and the vertices no triangle uses,
  // and relinks. Returns the old-to-new vertex map.
  std::vector<index_t> merge_vertices(const std::vector<index_t>& representative);
  // Removes the triangles flagged in `to_delete` and compacts the rest, in order; the
  // neighbours are recomputed. Returns the old-to-new triangle index map (NO_ID for
  // removed triangles).
  std::vector<index_t> delete_triangles(const std::vector<bool>& to_delete);

  // Removes the vertices that no triangle uses and compacts the rest, in order. Returns
  // the old-to-new vertex index map (NO_ID for removed vertices).
  std::vector<index_t> delete_isolated_vertices();

  // Deep copy of `source` into the (empty) mesh of this builder.
  void copy(const TriangulatedSurface<D>& source);

 private:
  void set_corner(index_t triangle, local_index_t vertex_in_triangle);
  void append_triangle(const std::array<index_t, 3>& vertices,
                       const std::array<index_t, 3>& adjacents);
  void replace_adjacent(index_t triangle, index_t old_adjacent, index_t new_adjacent);
  void compute_vertex_corners();

  TriangulatedSurface<D>& mesh_;
};

extern template class TriangulatedSurfaceBuilder<2>;
extern template class TriangulatedSurfaceBuilder<3>;

}  // namespace karvel
