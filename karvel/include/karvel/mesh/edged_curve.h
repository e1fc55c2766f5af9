#pragma once

#include <array>
#include <vector>

#include <absl/container/inlined_vector.h>

#include <karvel/geometry/basic_objects.h>

namespace karvel {

template <index_t D>
class EdgedCurveBuilder;

// A polyline mesh: points and edges of two vertices each, with the edges at each vertex.
template <index_t D>
class EdgedCurve {
  friend class EdgedCurveBuilder<D>;

 public:
  using EdgesAroundVertex = absl::InlinedVector<index_t, 2>;

  EdgedCurve() = default;
  EdgedCurve(const EdgedCurve&) = delete;
  EdgedCurve& operator=(const EdgedCurve&) = delete;

  index_t nb_vertices() const { return static_cast<index_t>(points_.size()); }
  index_t nb_edges() const { return static_cast<index_t>(edges_.size()); }
  const Point<D>& point(index_t vertex) const { return points_[vertex]; }
  const std::array<index_t, 2>& edge_vertices(index_t edge) const { return edges_[edge]; }
  const EdgesAroundVertex& edges_around_vertex(index_t vertex) const {
    return edges_around_vertex_[vertex];
  }
  Segment<D> segment(index_t edge) const {
    return {points_[edges_[edge][0]], points_[edges_[edge][1]]};
  }
  // The edge joining the two vertices in either order, or NO_ID.
  index_t edge_from_vertices(index_t v0, index_t v1) const;

 private:
  std::vector<Point<D>> points_;
  std::vector<std::array<index_t, 2>> edges_;
  std::vector<EdgesAroundVertex> edges_around_vertex_;
};

// The mesh of a corner: a set of points (one, for a model corner).
template <index_t D>
class PointSet {
 public:
  index_t nb_vertices() const { return static_cast<index_t>(points_.size()); }
  const Point<D>& point(index_t vertex) const { return points_[vertex]; }
  index_t create_point(const Point<D>& point) {
    points_.push_back(point);
    return nb_vertices() - 1;
  }
  void set_point(index_t vertex, const Point<D>& point) { points_[vertex] = point; }

 private:
  std::vector<Point<D>> points_;
};

extern template class EdgedCurve<2>;
extern template class EdgedCurve<3>;

}  // namespace karvel
