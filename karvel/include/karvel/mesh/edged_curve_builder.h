#pragma once

#include <vector>

#include <karvel/mesh/edged_curve.h>

namespace karvel {

// Creates and changes the elements of an EdgedCurve, keeping the edges around each vertex
// exact.
template <index_t D>
class EdgedCurveBuilder {
 public:
  explicit EdgedCurveBuilder(EdgedCurve<D>& curve) : curve_{curve} {}

  // Room for that many vertices and edges, for a builder that knows them.
  void reserve(index_t nb_vertices, index_t nb_edges);
  index_t create_point(const Point<D>& point);
  void set_point(index_t vertex, const Point<D>& point) {
    curve_.points_[vertex] = point;
  }
  // Throws KarvelException for a vertex out of range.
  index_t create_edge(index_t v0, index_t v1);
  // Edge (a, b) becomes (a, m) and a new edge (m, b) is appended; returns the new edge.
  index_t split_edge(index_t edge, index_t new_vertex);
  // Rewrites every vertex v of every edge as representative[v] (to merge vertices), then
  // removes the edges that became loops and the vertices no edge uses, keeping the rest
  // in order. Returns the old-to-new vertex map (NO_ID for a removed vertex). With every
  // vertex its own representative, only the vertices that no edge used are removed.
  std::vector<index_t> merge_vertices(const std::vector<index_t>& representative);
  // Removes the flagged edges and compacts the rest, in order. Returns the old-to-new
  // map.
  std::vector<index_t> delete_edges(const std::vector<bool>& to_delete);
  // Removes the vertices that no edge uses. Returns the old-to-new map.
  std::vector<index_t> delete_isolated_vertices();
  // Deep copy of `source` into the (empty) curve of this builder.
  void copy(const EdgedCurve<D>& source);

 private:
  void compute_edges_around_vertices();

  EdgedCurve<D>& curve_;
};

extern template class EdgedCurveBuilder<2>;
extern template class EdgedCurveBuilder<3>;

}  // namespace karvel
