#include <karvel/mesh/triangulated_surface_builder.h>

#include <string>

#include <karvel/basic/exception.h>

#include <karvel/mesh/adjacency.h>

namespace karvel {
namespace {

// A triangulated mesh as compute_adjacencies() reads it.
template <index_t D>
struct TriangleAccess {
  const TriangulatedSurface<D>& mesh;
  index_t nb_polygons() const { return mesh.nb_polygons(); }
  index_t size(index_t /*polygon*/) const { return 3; }
  index_t vertex(index_t polygon, index_t i) const {
    return mesh.polygon_vertex({polygon, static_cast<local_index_t>(i)});
  }
  index_t slot(index_t polygon, index_t i) const { return 3 * polygon + i; }
};

constexpr local_index_t next(local_index_t i) { return i == 2 ? 0 : i + 1; }
constexpr local_index_t previous(local_index_t i) { return i == 0 ? 2 : i - 1; }

}  // namespace

template <index_t D>
void TriangulatedSurfaceBuilder<D>::reserve(index_t nb_vertices, index_t nb_triangles) {
  mesh_.points_.reserve(nb_vertices);
  mesh_.vertex_corners_.reserve(nb_vertices);
  mesh_.vertices_.reserve(3 * static_cast<std::size_t>(nb_triangles));
  mesh_.adjacents_.reserve(3 * static_cast<std::size_t>(nb_triangles));
}

template <index_t D>
index_t TriangulatedSurfaceBuilder<D>::create_point(const Point<D>& point) {
  mesh_.points_.push_back(point);
  mesh_.vertex_corners_.push_back(NO_ID);
  return mesh_.nb_vertices() - 1;
}

template <index_t D>
index_t TriangulatedSurfaceBuilder<D>::create_triangle(
    const std::array<index_t, 3>& vertices) {
  const index_t triangle = mesh_.nb_polygons();
  for (local_index_t i = 0; i < 3; ++i) {
    if (vertices[i] >= mesh_.nb_vertices()) {
      throw KarvelException{"[TriangulatedSurfaceBuilder::create_triangle] Vertex " +
                            std::to_string(vertices[i]) + " of new triangle " +
                            std::to_string(triangle) + " is out of range (" +
                            std::to_string(mesh_.nb_vertices()) + " vertices)"};
    }
  }
  append_triangle(vertices, {NO_ID, NO_ID, NO_ID});
  for (local_index_t i = 0; i < 3; ++i) {
    if (mesh_.vertex_corners_[vertices[i]] == NO_ID) set_corner(triangle, i);
  }
  return triangle;
}

template <index_t D>
std::optional<detail::AdjacencyProblem> TriangulatedSurfaceBuilder<D>::link_triangles() {
  return detail::compute_adjacencies(mesh_.nb_vertices(), TriangleAccess<D>{mesh_},
                                     mesh_.adjacents_);
}

template <index_t D>
void TriangulatedSurfaceBuilder<D>::compute_triangle_adjacencies() {
  const auto problem = link_triangles();
  if (problem) {
    const std::string edge = "edge (" + std::to_string(problem->from_vertex) + ", " +
                             std::to_string(problem->to_vertex) + ")";
    const std::string triangles = "triangles " + std::to_string(problem->polygon) +
                                  " and " + std::to_string(problem->other_polygon);
    if (problem->kind == detail::AdjacencyProblem::Kind::non_manifold_edge) {
      throw KarvelException{"[TriangulatedSurfaceBuilder] " + edge +
                            " is shared by more than two triangles, among them " +
                            triangles};
    }
    throw KarvelException{"[TriangulatedSurfaceBuilder] " + triangles +
                          " are not consistently oriented across " + edge};
  }
}

template <index_t D>
void TriangulatedSurfaceBuilder<D>::set_corner(index_t triangle,
                                               local_index_t vertex_in_triangle) {
  mesh_.vertex_corners_[mesh_.vertices_[3 * triangle + vertex_in_triangle]] =
      3 * triangle + vertex_in_triangle;
}

template <index_t D>
void TriangulatedSurfaceBuilder<D>::append_triangle(
    const std::array<index_t, 3>& vertices, const std::array<index_t, 3>& adjacents) {
  // Room first: a failed allocation leaves the two arrays in step.
  mesh_.vertices_.make_room(3);
  mesh_.adjacents_.make_room(3);
  for (local_index_t i = 0; i < 3; ++i) {
    mesh_.vertices_.push_back(vertices[i]);
    mesh_.adjacents_.push_back(adjacents[i]);
  }
}

template <index_t D>
void TriangulatedSurfaceBuilder<D>::replace_adjacent(index_t triangle,
                                                     index_t old_adjacent,
                                                     index_t new_adjacent) {
  if (triangle == NO_ID) return;
  index_t* adjacents = &mesh_.adjacents_[3 * triangle];
  for (local_index_t e = 0; e < 3; ++e) {
    if (adjacents[e] == old_adjacent) {
      adjacents[e] = new_adjacent;
      return;
    }
  }
}

template <index_t D>
std::vector<index_t> TriangulatedSurfaceBuilder<D>::separate_vertex_fans() {
  const index_t nb_vertices = mesh_.nb_vertices();
  const std::size_t nb_corners = mesh_.vertices_.size();
  std::vector<index_t> nb_corners_at(nb_vertices, 0);
  for (const index_t v : mesh_.vertices_) ++nb_corners_at[v];
  bool pinched = false;
  for (index_t v = 0; v < nb_vertices && !pinched; ++v) {
    pinched = nb_corners_at[v] > 1 &&
              mesh_.polygons_around_vertex(v).size() != nb_corners_at[v];
  }
  if (!pinched) return {};
  // Corners joined across every edge: each class is one fan around one vertex.
  std::vector<index_t> fan(nb_corners);
  for (std::size_t c = 0; c < nb_corners; ++c) fan[c] = index_t(c);
  const auto find = [&fan](index_t c) {
    while (fan[c] != c) c = fan[c] = fan[fan[c]];
    return c;
  };
  const auto join = [&](index_t a, index_t b) { fan[find(a)] = find(b); };
  for (index_t t = 0; t < mesh_.nb_polygons(); ++t) {
    for (local_index_t i = 0; i < 3; ++i) {
      const index_t n = mesh_.adjacents_[3 * t + i];
      if (n == NO_ID || n < t) continue;
      for (const local_index_t end : {i, next(i)}) {
        const index_t v = mesh_.vertices_[3 * t + end];
        for (local_index_t j = 0; j < 3; ++j) {
          if (mesh_.vertices_[3 * n + j] == v) join(3 * t + end, 3 * n + j);
        }
      }
    }
  }
  // The first fan met at a vertex keeps it; each other fan gets a vertex of its own.
  std::vector<index_t> fan_of_vertex(nb_vertices, NO_ID);
  std::vector<index_t> vertex_of_fan(nb_corners, NO_ID);
  std::vector<index_t> split_from;
  for (std::size_t c = 0; c < nb_corners; ++c) {
    const index_t v = mesh_.vertices_[c];
    const index_t root = find(index_t(c));
    if (fan_of_vertex[v] == NO_ID) fan_of_vertex[v] = root;
    if (fan_of_vertex[v] == root) continue;
    if (vertex_of_fan[root] == NO_ID) {
      const Point<D> point = mesh_.points_[v];  // create_point() may move the points
      vertex_of_fan[root] = create_point(point);
      split_from.push_back(v);
    }
    mesh_.vertices_[c] = vertex_of_fan[root];
  }
  compute_vertex_corners();
  return split_from;
}

template <index_t D>
TriangleEdgeSplit TriangulatedSurfaceBuilder<D>::split_edge(const PolygonEdge& edge,
                                                            index_t new_vertex) {
  // Side 0: t = (a, b, c) with the split edge a -> b, becomes t = (a, m, c) and
  // t' = (m, b, c). Side 1: n = (b, a, d) becomes n = (b, m, d) and n' = (m, a, d).
  TriangleEdgeSplit result;
  auto& vertices = mesh_.vertices_;
  auto& adjacents = mesh_.adjacents_;
  const index_t t = edge.polygon_id;
  const local_index_t e = edge.edge_id;
  const index_t n = adjacents[3 * t + e];
  const index_t a = vertices[3 * t + e];
  const index_t b = vertices[3 * t + next(e)];
  const index_t c = vertices[3 * t + previous(e)];
  const index_t t_new = mesh_.nb_polygons();
  const index_t n_new = n == NO_ID ? NO_ID : t_new + 1;
  const index_t t_outer = adjacents[3 * t + next(e)];
  // Callers usually measure the four triangles next: start fetching the points opposite
  // the edge, the only ones the split itself does not read.
  __builtin_prefetch(&mesh_.points_[c]);

  // t' = (m, b, c): across (m, b) lies n, across (b, c) t's old neighbour, across (c, m)
  // t.
  append_triangle({new_vertex, b, c}, {n, t_outer, t});
  replace_adjacent(t_outer, t, t_new);
  vertices[3 * t + next(e)] = new_vertex;
  adjacents[3 * t + e] = n_new;
  adjacents[3 * t + next(e)] = t_new;
  result.reshaped[0] = t;
  result.created[0] = t_new;

  if (n != NO_ID) {
    const local_index_t f = mesh_.edge_from_vertices(n, b, a);
    const index_t d = vertices[3 * n + previous(f)];
    __builtin_prefetch(&mesh_.points_[d]);
    const index_t n_outer = adjacents[3 * n + next(f)];
    // n' = (m, a, d): across (m, a) lies t, across (a, d) n's old neighbour, across (d,
    // m) n.
    append_triangle({new_vertex, a, d}, {t, n_outer, n});
    replace_adjacent(n_outer, n, n_new);
    vertices[3 * n + next(f)] = new_vertex;
    adjacents[3 * n + f] = t_new;
    adjacents[3 * n + next(f)] = n_new;
    result.reshaped[1] = n;
    result.created[1] = n_new;
    // a may have had its corner in n at the corner that moved to n'.
    if (mesh_.vertex_corners_[a] == 3 * n + next(f)) set_corner(n_new, 1);
  }
  if (mesh_.vertex_corners_[b] == 3 * t + next(e)) set_corner(t_new, 1);
  set_corner(t_new, 0);
  return result;
}

template <index_t D>
void TriangulatedSurfaceBuilder<D>::compute_vertex_corners() {
  mesh_.vertex_corners_.assign(mesh_.nb_vertices(), NO_ID);
  for (index_t t = 0; t < mesh_.nb_polygons(); ++t) {
    for (local_index_t i = 0; i < 3; ++i) {
      // Prefer a corner whose backward edge is on the border, so that a walk around a
      // border vertex starts at one end of its fan.
      const index_t vertex = mesh_.vertices_[3 * t + i];
      if (mesh_.vertex_corners_[vertex] == NO_ID ||
          mesh_.adjacents_[3 * t + previous(i)] == NO_ID) {
        set_corner(t, i);
      }
    }
  }
}

template <index_t D>
std::vector<index_t> TriangulatedSurfaceBuilder<D>::delete_triangles(
    const std::vector<bool>& to_delete) {
  std::vector<index_t> old_to_new(mesh_.nb_polygons(), NO_ID);
  index_t kept = 0;
  for (index_t t = 0; t < mesh_.nb_polygons(); ++t) {
    if (t < to_delete.size() && to_delete[t]) continue;
    for (local_index_t i = 0; i < 3; ++i) {
      mesh_.vertices_[3 * kept + i] = mesh_.vertices_[3 * t + i];
    }
    old_to_new[t] = kept++;
  }
  mesh_.vertices_.resize(3 * static_cast<std::size_t>(kept));
  mesh_.adjacents_.resize(mesh_.vertices_.size());
  compute_triangle_adjacencies();
  compute_vertex_corners();
  return old_to_new;
}

template <index_t D>
std::vector<index_t> TriangulatedSurfaceBuilder<D>::delete_isolated_vertices() {
  std::vector<bool> used(mesh_.nb_vertices(), false);
  for (const index_t v : mesh_.vertices_) used[v] = true;
  std::vector<index_t> old_to_new(mesh_.nb_vertices(), NO_ID);
  index_t kept = 0;
  for (index_t v = 0; v < mesh_.nb_vertices(); ++v) {
    if (!used[v]) continue;
    mesh_.points_[kept] = mesh_.points_[v];
    old_to_new[v] = kept++;
  }
  mesh_.points_.resize(kept);
  for (auto& v : mesh_.vertices_) v = old_to_new[v];
  compute_vertex_corners();
  return old_to_new;
}

template <index_t D>
std::vector<index_t> TriangulatedSurfaceBuilder<D>::merge_vertices(
    const std::vector<index_t>& representative) {
  std::vector<bool> degenerate(mesh_.nb_polygons(), false);
  for (index_t t = 0; t < mesh_.nb_polygons(); ++t) {
    index_t* v = &mesh_.vertices_[3 * t];
    for (local_index_t i = 0; i < 3; ++i) v[i] = representative[v[i]];
    degenerate[t] = v[0] == v[1] || v[1] == v[2] || v[2] == v[0];
  }
  delete_triangles(degenerate);
  return delete_isolated_vertices();
}

template <index_t D>
void TriangulatedSurfaceBuilder<D>::copy(const TriangulatedSurface<D>& source) {
  mesh_.points_ = source.points_;
  mesh_.vertices_ = source.vertices_;
  mesh_.adjacents_ = source.adjacents_;
  mesh_.vertex_corners_ = source.vertex_corners_;
}

template class TriangulatedSurface<2>;
template class TriangulatedSurface<3>;
template class TriangulatedSurfaceBuilder<2>;
template class TriangulatedSurfaceBuilder<3>;

}  // namespace karvel
