#pragma once

// Polygon adjacency from polygon vertices, in linear time:
//   corners_at[v] = every (polygon, local vertex) at v      (group_by_vertex)
//   for each edge (u -> w) of polygon p:
//     look at the corners of u or w, whichever has fewer, for a polygon q holding
//     (w -> u): the neighbour;
//     a q holding (u -> w) too means a flipped orientation, a third polygon an edge
//     that is not manifold.
// Problems are returned, not thrown, so each caller can name the elements in its own
// terms (a patch builder names the input triangles, a mesh builder its own).

#include <optional>
#include <vector>

#include <karvel/basic/common.h>
#include <karvel/mesh/group_by_vertex.h>

namespace karvel::detail {

struct AdjacencyProblem {
  enum class Kind { non_manifold_edge, inconsistent_orientation };
  Kind kind;
  index_t polygon;
  index_t other_polygon;
  index_t from_vertex;
  index_t to_vertex;
};

// `polygons` gives nb_polygons(), size(p), vertex(p, i) and slot(p, i): the index of
// local edge i of p in `adjacents`, which is resized and filled.
template <typename Polygons, typename Adjacents>
std::optional<AdjacencyProblem> compute_adjacencies(index_t nb_vertices,
                                                    const Polygons& polygons,
                                                    Adjacents& adjacents) {
  const index_t nb_polygons = polygons.nb_polygons();
  struct Corner {
    index_t polygon;
    index_t local;
  };
  const auto corners = group_by_vertex<Corner>(nb_vertices, [&](auto&& visit) {
    for (index_t p = 0; p < nb_polygons; ++p) {
      for (index_t i = 0; i < polygons.size(p); ++i)
        visit(polygons.vertex(p, i), Corner{p, i});
    }
  });
  adjacents.assign(adjacents.size(), NO_ID);
  for (index_t p = 0; p < nb_polygons; ++p) {
    const index_t size = polygons.size(p);
    for (index_t i = 0; i < size; ++i) {
      const index_t from = polygons.vertex(p, i);
      const index_t to = polygons.vertex(p, (i + 1) % size);
      index_t neighbour = NO_ID;
      index_t same_direction = NO_ID;
      index_t nb_others = 0;
      // The corners at the end with fewer of them: linear however many polygons share a
      // vertex. Around `to`, q runs to -> from where its next vertex is `from`; around
      // `from`, where its previous vertex is `to`.
      const bool at_to = corners.first[to + 1] - corners.first[to] <=
                         corners.first[from + 1] - corners.first[from];
      const index_t at = at_to ? to : from;
      const index_t other = at_to ? from : to;
      for (index_t c = corners.first[at]; c < corners.first[at + 1]; ++c) {
        const index_t q = corners.items[c].polygon;
        if (q == p) continue;
        const index_t q_size = polygons.size(q);
        const index_t j = corners.items[c].local;
        const index_t next = polygons.vertex(q, (j + 1) % q_size);
        const index_t previous = polygons.vertex(q, (j + q_size - 1) % q_size);
        if ((at_to ? next : previous) == other) {
          neighbour = q;
          ++nb_others;
        } else if ((at_to ? previous : next) == other) {
          same_direction = q;
          ++nb_others;
        }
      }
      if (nb_others > 1) {
        return AdjacencyProblem{AdjacencyProblem::Kind::non_manifold_edge, p,
                                neighbour != NO_ID ? neighbour : same_direction, from,
                                to};
      }
      if (same_direction != NO_ID) {
        return AdjacencyProblem{AdjacencyProblem::Kind::inconsistent_orientation, p,
                                same_direction, from, to};
      }
      adjacents[polygons.slot(p, i)] = neighbour;
    }
  }
  return std::nullopt;
}

}  // namespace karvel::detail
