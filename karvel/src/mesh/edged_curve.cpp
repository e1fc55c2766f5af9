#include <karvel/mesh/edged_curve.h>
#include <karvel/mesh/edged_curve_builder.h>

#include <algorithm>
#include <string>

#include <karvel/basic/exception.h>

namespace karvel {

template <index_t D>
index_t EdgedCurve<D>::edge_from_vertices(index_t v0, index_t v1) const {
  for (const index_t edge : edges_around_vertex_[v0]) {
    const auto& vertices = edges_[edge];
    if ((vertices[0] == v0 && vertices[1] == v1) ||
        (vertices[0] == v1 && vertices[1] == v0)) {
      return edge;
    }
  }
  return NO_ID;
}

template <index_t D>
void EdgedCurveBuilder<D>::reserve(index_t nb_vertices, index_t nb_edges) {
  curve_.points_.reserve(nb_vertices);
  curve_.edges_around_vertex_.reserve(nb_vertices);
  curve_.edges_.reserve(nb_edges);
}

template <index_t D>
index_t EdgedCurveBuilder<D>::create_point(const Point<D>& point) {
  curve_.points_.push_back(point);
  curve_.edges_around_vertex_.emplace_back();
  return curve_.nb_vertices() - 1;
}

template <index_t D>
index_t EdgedCurveBuilder<D>::create_edge(index_t v0, index_t v1) {
  if (v0 >= curve_.nb_vertices() || v1 >= curve_.nb_vertices()) {
    throw KarvelException{"[EdgedCurveBuilder::create_edge] Edge (" + std::to_string(v0) +
                          ", " + std::to_string(v1) + ") has a vertex out of range"};
  }
  const index_t edge = curve_.nb_edges();
  curve_.edges_.push_back({v0, v1});
  curve_.edges_around_vertex_[v0].push_back(edge);
  curve_.edges_around_vertex_[v1].push_back(edge);
  return edge;
}

template <index_t D>
index_t EdgedCurveBuilder<D>::split_edge(index_t edge, index_t new_vertex) {
  const index_t end = curve_.edges_[edge][1];
  curve_.edges_[edge][1] = new_vertex;
  const index_t new_edge = curve_.nb_edges();
  curve_.edges_.push_back({new_vertex, end});
  auto& around_end = curve_.edges_around_vertex_[end];
  std::replace(around_end.begin(), around_end.end(), edge, new_edge);
  curve_.edges_around_vertex_[new_vertex].push_back(edge);
  curve_.edges_around_vertex_[new_vertex].push_back(new_edge);
  return new_edge;
}

template <index_t D>
void EdgedCurveBuilder<D>::compute_edges_around_vertices() {
  curve_.edges_around_vertex_.assign(curve_.nb_vertices(), {});
  for (index_t edge = 0; edge < curve_.nb_edges(); ++edge) {
    curve_.edges_around_vertex_[curve_.edges_[edge][0]].push_back(edge);
    curve_.edges_around_vertex_[curve_.edges_[edge][1]].push_back(edge);
  }
}

template <index_t D>
std::vector<index_t> EdgedCurveBuilder<D>::delete_edges(
    const std::vector<bool>& to_delete) {
  std::vector<index_t> old_to_new(curve_.nb_edges(), NO_ID);
  index_t kept = 0;
  for (index_t edge = 0; edge < curve_.nb_edges(); ++edge) {
    if (edge < to_delete.size() && to_delete[edge]) continue;
    curve_.edges_[kept] = curve_.edges_[edge];
    old_to_new[edge] = kept++;
  }
  curve_.edges_.resize(kept);
  compute_edges_around_vertices();
  return old_to_new;
}

template <index_t D>
std::vector<index_t> EdgedCurveBuilder<D>::delete_isolated_vertices() {
  std::vector<index_t> old_to_new(curve_.nb_vertices(), NO_ID);
  index_t kept = 0;
  for (index_t v = 0; v < curve_.nb_vertices(); ++v) {
    if (curve_.edges_around_vertex_[v].empty()) continue;
    curve_.points_[kept] = curve_.points_[v];
    old_to_new[v] = kept++;
  }
  curve_.points_.resize(kept);
  for (auto& edge : curve_.edges_) {
    edge = {old_to_new[edge[0]], old_to_new[edge[1]]};
  }
  compute_edges_around_vertices();
  return old_to_new;
}

template <index_t D>
std::vector<index_t> EdgedCurveBuilder<D>::merge_vertices(
    const std::vector<index_t>& representative) {
  std::vector<bool> loops(curve_.nb_edges(), false);
  for (index_t edge = 0; edge < curve_.nb_edges(); ++edge) {
    auto& vertices = curve_.edges_[edge];
    vertices = {representative[vertices[0]], representative[vertices[1]]};
    loops[edge] = vertices[0] == vertices[1];
  }
  delete_edges(loops);
  return delete_isolated_vertices();
}

template <index_t D>
void EdgedCurveBuilder<D>::copy(const EdgedCurve<D>& source) {
  curve_.points_ = source.points_;
  curve_.edges_ = source.edges_;
  curve_.edges_around_vertex_ = source.edges_around_vertex_;
}

template class EdgedCurve<2>;
template class EdgedCurve<3>;
template class EdgedCurveBuilder<2>;
template class EdgedCurveBuilder<3>;

}  // namespace karvel
