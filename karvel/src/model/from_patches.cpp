// From a triangle soup to a model:
//   validate sizes, indices, repeated vertices, coordinates
//   group triangles by patch; per patch a surface with local vertices, linked
//   (orientation
//     and manifold checks name the input triangles)
//   corners_at[v] over all triangles; for each undirected edge, the patches along it and
//     how often: a border (once) or an edge of two patches is a line edge
//   chain line edges into lines, breaking where the line degree is not 2 or the patches
//     along the two edges differ; what is left are closed loops
//   corners at line ends, relationships, unique vertices (one per used input point)

#include <karvel/model/from_patches.h>

#include <algorithm>
#include <string>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <karvel/mesh/group_by_vertex.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/model/model_builder.h>

namespace karvel {
namespace {

// The patches along an edge and how many triangles of each hold it.
struct PatchCount {
  index_t patch;
  index_t count;
  friend bool operator==(const PatchCount& a, const PatchCount& b) {
    return a.patch == b.patch && a.count == b.count;
  }
};
using EdgePatches = absl::InlinedVector<PatchCount, 2>;

struct LineEdge {
  std::array<index_t, 2> vertices;
  EdgePatches patches;
};

template <index_t D>
void validate(const std::string& where, absl::Span<const Point<D>> points,
              absl::Span<const std::array<index_t, 3>> triangles,
              absl::Span<const index_t> patches) {
  if (triangles.size() != patches.size()) {
    throw KarvelException{where + " " + std::to_string(triangles.size()) +
                          " triangles but " + std::to_string(patches.size()) +
                          " patch values"};
  }
  if (points.size() >= NO_ID || triangles.size() >= NO_ID / 3) {
    throw KarvelException{where + " Too many points or triangles"};
  }
  for (std::size_t p = 0; p < points.size(); ++p) {
    if (!points[p].is_finite()) {
      throw KarvelException{where + " Point " + std::to_string(p) +
                            " has a coordinate that is not finite"};
    }
  }
  for (std::size_t t = 0; t < triangles.size(); ++t) {
    const auto& v = triangles[t];
    for (const index_t vertex : v) {
      if (vertex >= points.size()) {
        throw KarvelException{where + " Triangle " + std::to_string(t) + " uses vertex " +
                              std::to_string(vertex) + ", but there are " +
                              std::to_string(points.size()) + " points"};
      }
    }
    if (v[0] == v[1] || v[1] == v[2] || v[2] == v[0]) {
      throw KarvelException{where + " Triangle " + std::to_string(t) +
                            " repeats a vertex (" + std::to_string(v[0]) + ", " +
                            std::to_string(v[1]) + ", " + std::to_string(v[2]) + ")"};
    }
  }
}

bool holds_edge(const std::array<index_t, 3>& triangle, index_t u, index_t w) {
  for (local_index_t i = 0; i < 3; ++i) {
    const index_t a = triangle[i];
    const index_t b = triangle[(i + 1) % 3];
    if ((a == u && b == w) || (a == w && b == u)) return true;
  }
  return false;
}

template <typename Model, typename Builder, index_t D>
class PatchModelBuilder {
 public:
  PatchModelBuilder(const std::string& where, absl::Span<const Point<D>> points,
                    absl::Span<const std::array<index_t, 3>> triangles,
                    absl::Span<const index_t> patches)
      : where_{where},
        points_{points},
        triangles_{triangles},
        patches_{patches},
        builder_{model_} {}

  Model build() {
    validate<D>(where_, points_, triangles_, patches_);
    number_patches();
    create_unique_vertices();
    build_surfaces();
    find_line_edges();
    build_lines();
    return std::move(model_);
  }

 private:
  void number_patches() {
    std::vector<index_t> values(patches_.begin(), patches_.end());
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    absl::flat_hash_map<index_t, index_t> dense;
    for (index_t i = 0; i < values.size(); ++i) dense.emplace(values[i], i);
    patch_of_.resize(triangles_.size());
    // The triangles of each patch, in order, one after the other: one array however
    // many patches there are.
    patch_first_.assign(values.size() + 1, 0);
    for (index_t t = 0; t < triangles_.size(); ++t) {
      patch_of_[t] = values.size() == 1 ? 0 : dense.at(patches_[t]);
      ++patch_first_[patch_of_[t] + 1];
    }
    for (index_t patch = 0; patch < values.size(); ++patch) {
      patch_first_[patch + 1] += patch_first_[patch];
    }
    patch_triangles_.resize(triangles_.size());
    std::vector<index_t> next(patch_first_.begin(), patch_first_.end() - 1);
    for (index_t t = 0; t < triangles_.size(); ++t) {
      patch_triangles_[next[patch_of_[t]]++] = t;
    }
    patch_values_ = std::move(values);
  }

  void create_unique_vertices() {
    unique_of_.assign(points_.size(), NO_ID);
    index_t count = 0;
    for (const auto& triangle : triangles_) {
      for (const index_t v : triangle) {
        if (unique_of_[v] == NO_ID) unique_of_[v] = count++;
      }
    }
    builder_.create_unique_vertices(count);
  }

  void build_surfaces() {
    std::vector<index_t> local(points_.size(), NO_ID);
    for (index_t patch = 0; patch + 1 < patch_first_.size(); ++patch) {
      const auto triangles = absl::MakeConstSpan(patch_triangles_)
                                 .subspan(patch_first_[patch],
                                          patch_first_[patch + 1] - patch_first_[patch]);
      const auto id = builder_.add_surface();
      surfaces_.push_back(id);
      builder_.set_name({ComponentType::surface, id},
                        "patch " + std::to_string(patch_values_[patch]));
      const index_t slot = builder_.component_slot({ComponentType::surface, id});
      auto mesh = builder_.triangulated_surface_builder(id);
      std::vector<index_t> global;
      for (const index_t t : triangles) {
        for (const index_t v : triangles_[t]) {
          if (local[v] != NO_ID) continue;
          local[v] = static_cast<index_t>(global.size());
          global.push_back(v);
        }
      }
      mesh.reserve(static_cast<index_t>(global.size()),
                   static_cast<index_t>(triangles.size()));
      for (index_t v = 0; v < global.size(); ++v) {
        mesh.create_point(points_[global[v]]);
        builder_.set_unique_vertex(slot, v, unique_of_[global[v]]);
      }
      for (const index_t t : triangles) {
        const auto& v = triangles_[t];
        mesh.create_triangle({local[v[0]], local[v[1]], local[v[2]]});
      }
      if (const auto problem = mesh.link_triangles()) report(*problem, triangles, global);
      refuse_repeated_triangles(surfaces_.back(), triangles, global);
      // A patch that touches itself at a vertex: one mesh vertex per fan, all at the
      // same model vertex, as vertices on a line are across surfaces.
      const auto split_from = mesh.separate_vertex_fans();
      for (index_t k = 0; k < split_from.size(); ++k) {
        builder_.set_unique_vertex(slot, static_cast<index_t>(global.size()) + k,
                                   unique_of_[global[split_from[k]]]);
      }
      for (const index_t v : global) local[v] = NO_ID;
    }
  }

  [[noreturn]] void report(const detail::AdjacencyProblem& problem,
                           absl::Span<const index_t> triangles,
                           const std::vector<index_t>& global) const {
    const std::array<index_t, 2> edge{global[problem.from_vertex],
                                      global[problem.to_vertex]};
    const std::array<index_t, 2> pair{triangles[problem.polygon],
                                      triangles[problem.other_polygon]};
    const index_t patch = patches_[pair[0]];
    const std::string edge_text =
        "edge (" + std::to_string(edge[0]) + ", " + std::to_string(edge[1]) + ")";
    const std::string pair_text =
        "triangles " + std::to_string(pair[0]) + " and " + std::to_string(pair[1]);
    const std::string patch_text = "patch " + std::to_string(patch);
    if (problem.kind == detail::AdjacencyProblem::Kind::non_manifold_edge) {
      throw PatchTopologyError{
          where_ + " In " + patch_text + ", " + edge_text +
              " is used by more than two triangles, among them " + pair_text,
          PatchTopologyError::Kind::non_manifold_edge, patch, pair, edge};
    }
    throw PatchTopologyError{where_ + " In " + patch_text + ", " + pair_text +
                                 " are not consistently oriented across " + edge_text,
                             PatchTopologyError::Kind::inconsistent_orientation, patch,
                             pair, edge};
  }

  // Two triangles on the same three vertices, in opposite orientations, link to each
  // other across all three edges: a surface of no area, which nothing can refine.
  void refuse_repeated_triangles(const uuid& surface, absl::Span<const index_t> triangles,
                                 const std::vector<index_t>& global) const {
    const auto& mesh =
        dynamic_cast<const TriangulatedSurface<D>&>(model_.surface(surface).get_mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      const auto around = mesh.triangle_adjacents(t);
      if (around[0] == NO_ID || around[0] != around[1] || around[1] != around[2])
        continue;
      const std::array<index_t, 2> pair{triangles[t], triangles[around[0]]};
      const auto v = mesh.triangle_vertices(t);
      const index_t patch = patches_[pair[0]];
      throw PatchTopologyError{
          where_ + " In patch " + std::to_string(patch) + ", triangles " +
              std::to_string(pair[0]) + " and " + std::to_string(pair[1]) +
              " have the same three vertices (" + std::to_string(global[v[0]]) + ", " +
              std::to_string(global[v[1]]) + ", " + std::to_string(global[v[2]]) + ")",
          PatchTopologyError::Kind::repeated_triangle,
          patch,
          pair,
          {global[v[0]], global[v[1]]}};
    }
  }

  void find_line_edges() {
    const auto triangles_at = detail::group_by_vertex<index_t>(
        static_cast<index_t>(points_.size()), [this](auto&& visit) {
          for (index_t t = 0; t < triangles_.size(); ++t) {
            for (const index_t v : triangles_[t]) visit(v, t);
          }
        });
    for (index_t t = 0; t < triangles_.size(); ++t) {
      for (local_index_t i = 0; i < 3; ++i) {
        const index_t u = triangles_[t][i];
        const index_t w = triangles_[t][(i + 1) % 3];
        EdgePatches along;
        bool first_holder = true;
        // The triangles at the end with fewer of them: linear however many triangles
        // share a vertex.
        const index_t from = triangles_at.first[u + 1] - triangles_at.first[u] <=
                                     triangles_at.first[w + 1] - triangles_at.first[w]
                                 ? u
                                 : w;
        for (index_t c = triangles_at.first[from]; c < triangles_at.first[from + 1];
             ++c) {
          const index_t q = triangles_at.items[c];
          if (!holds_edge(triangles_[q], u, w)) continue;
          if (q < t) {
            first_holder = false;
            break;
          }
          const index_t patch = patch_of_[q];
          auto found =
              std::find_if(along.begin(), along.end(),
                           [patch](const PatchCount& pc) { return pc.patch == patch; });
          if (found == along.end()) {
            along.push_back({patch, 1});
          } else {
            ++found->count;
          }
        }
        if (!first_holder) continue;
        if (along.size() == 1 && along[0].count == 2) continue;
        std::sort(
            along.begin(), along.end(),
            [](const PatchCount& a, const PatchCount& b) { return a.patch < b.patch; });
        line_edges_.push_back({{u, w}, std::move(along)});
      }
    }
    // Held while every line is built, when the model is at its largest.
    line_edges_.shrink_to_fit();
  }

  void build_lines() {
    const auto edges_at = detail::group_by_vertex<index_t>(
        static_cast<index_t>(points_.size()), [this](auto&& visit) {
          for (index_t e = 0; e < line_edges_.size(); ++e) {
            visit(line_edges_[e].vertices[0], e);
            visit(line_edges_[e].vertices[1], e);
          }
        });
    const auto& first = edges_at.first;
    const auto& around = edges_at.items;
    const auto is_break = [&](index_t v) {
      const index_t degree = first[v + 1] - first[v];
      if (degree != 2) return true;
      return !(line_edges_[around[first[v]]].patches ==
               line_edges_[around[first[v] + 1]].patches);
    };
    std::vector<bool> visited(line_edges_.size(), false);
    const auto walk = [&](index_t start, index_t edge) {
      std::vector<index_t> vertices{start};
      index_t current = start;
      while (true) {
        visited[edge] = true;
        const auto& ends = line_edges_[edge].vertices;
        current = ends[0] == current ? ends[1] : ends[0];
        vertices.push_back(current);
        if (current == start || is_break(current)) break;
        const index_t e0 = around[first[current]];
        const index_t e1 = around[first[current] + 1];
        edge = e0 == edge ? e1 : e0;
      }
      create_line(vertices, line_edges_[edge].patches);
    };
    for (index_t v = 0; v < points_.size(); ++v) {
      if (first[v] == first[v + 1] || !is_break(v)) continue;
      for (index_t c = first[v]; c < first[v + 1]; ++c) {
        if (!visited[around[c]]) walk(v, around[c]);
      }
    }
    for (index_t e = 0; e < line_edges_.size(); ++e) {
      if (!visited[e]) walk(line_edges_[e].vertices[0], e);
    }
    relate_corners_to_surfaces();
  }

  // `vertices` runs from one end to the other; a closed loop repeats its first vertex.
  void create_line(const std::vector<index_t>& vertices, const EdgePatches& patches) {
    const auto id = builder_.add_line();
    const ComponentID line{ComponentType::line, id};
    builder_.set_name(line, "line " + std::to_string(lines_.size()));
    lines_.push_back(id);
    const index_t slot = builder_.component_slot(line);
    auto mesh = builder_.line_mesh_builder(id);
    const bool closed = vertices.front() == vertices.back();
    const index_t nb_points = static_cast<index_t>(vertices.size()) - (closed ? 1 : 0);
    mesh.reserve(nb_points, static_cast<index_t>(vertices.size()) - 1);
    for (index_t v = 0; v < nb_points; ++v) {
      mesh.create_point(points_[vertices[v]]);
      builder_.set_unique_vertex(slot, v, unique_of_[vertices[v]]);
    }
    for (index_t v = 0; v + 1 < vertices.size(); ++v) {
      mesh.create_edge(v, (v + 1) % nb_points);
    }
    for (const index_t end : {vertices.front(), vertices.back()}) {
      builder_.add_boundary_relation(corner_at(end), line);
    }
    for (const auto& along : patches) {
      const ComponentID surface{ComponentType::surface, surfaces_[along.patch]};
      if (along.count == 1) {
        builder_.add_boundary_relation(line, surface);
      } else {
        builder_.add_internal_relation(line, surface);
      }
    }
  }

  ComponentID corner_at(index_t vertex) {
    const auto found = corner_of_.find(vertex);
    if (found != corner_of_.end()) return {ComponentType::corner, found->second};
    const auto id = builder_.add_corner();
    const ComponentID corner{ComponentType::corner, id};
    builder_.set_name(corner, "corner " + std::to_string(corner_of_.size()));
    builder_.corner_mesh(id).create_point(points_[vertex]);
    builder_.set_unique_vertex(builder_.component_slot(corner), 0, unique_of_[vertex]);
    corner_of_.emplace(vertex, id);
    return corner;
  }

  // A corner lies inside a surface that holds its vertex when none of the corner's lines
  // bounds that surface (the end of a line that stops inside a patch).
  void relate_corners_to_surfaces() {
    for (const auto& [vertex, corner_id] : corner_of_) {
      const auto unique = unique_of_[vertex];
      for (const auto& held : model_.slot_vertices(unique)) {
        const auto& component = model_.slot_component(held.slot);
        if (component.type != ComponentType::surface) continue;
        bool on_boundary = false;
        for (const auto& line : model_.incidences(corner_id)) {
          on_boundary = on_boundary || model_.is_boundary(line.id, component.id);
        }
        if (!on_boundary) {
          builder_.add_internal_relation({ComponentType::corner, corner_id}, component);
        }
      }
    }
  }

  const std::string where_;
  absl::Span<const Point<D>> points_;
  absl::Span<const std::array<index_t, 3>> triangles_;
  absl::Span<const index_t> patches_;
  Model model_;
  Builder builder_;
  std::vector<index_t> patch_values_;
  std::vector<index_t> patch_of_;
  std::vector<index_t> patch_first_;
  std::vector<index_t> patch_triangles_;
  std::vector<index_t> unique_of_;
  std::vector<uuid> surfaces_;
  std::vector<uuid> lines_;
  std::vector<LineEdge> line_edges_;
  absl::flat_hash_map<index_t, uuid> corner_of_;
};

}  // namespace

BRep brep_from_patches(absl::Span<const Point<3>> points,
                       absl::Span<const std::array<index_t, 3>> triangles,
                       absl::Span<const index_t> patches) {
  return PatchModelBuilder<BRep, BRepBuilder, 3>{"[brep_from_patches]", points, triangles,
                                                 patches}
      .build();
}

Section section_from_patches(absl::Span<const Point<2>> points,
                             absl::Span<const std::array<index_t, 3>> triangles,
                             absl::Span<const index_t> patches) {
  return PatchModelBuilder<Section, SectionBuilder, 2>{"[section_from_patches]", points,
                                                       triangles, patches}
      .build();
}

}  // namespace karvel
