// split_edge(surface, (t, i), point):
//   pick the edge of t that holds point strictly inside (i first), else return nothing
//   a, b = its model vertices; m = a new model vertex
//   for each component vertex at a whose component also has a vertex at b:
//     surface: find the triangle edge between them around a, split it (both sides)
//     line:    find the line edge between them, split it
//   An edge with an end that no other component holds is split in its surface alone,
//   without looking further: the common case, O(1).
//
// clean-ups: merge the vertices of a component that sit at one model vertex, drop the
// elements that collapse, compact, renumber the unique vertices.

#include <hollent/geometric_modifier.h>

#include <algorithm>
#include <array>
#include <string>

#include <absl/container/inlined_vector.h>

#include <karvel/basic/exception.h>
#include <karvel/geometry/mensuration.h>

namespace hollent {
namespace {

using karvel::KarvelException;
using karvel::NO_ID;
using karvel::NO_LID;

// The edge of `triangle` that holds `point` strictly inside, preferring `preferred`.
template <index_t D>
local_index_t edge_holding(const karvel::TriangulatedSurface<D>& mesh, index_t triangle,
                           local_index_t preferred, const karvel::Point<D>& point) {
  const auto inside = [&](local_index_t e) {
    const auto v = mesh.triangle_edge_vertices({triangle, e});
    return karvel::point_strictly_inside_segment(
        point, karvel::Segment<D>{mesh.point(v[0]), mesh.point(v[1])});
  };
  if (inside(preferred)) return preferred;
  for (local_index_t e = 0; e < 3; ++e) {
    if (e != preferred && inside(e)) return e;
  }
  return NO_LID;
}

// A triangle edge joining `from` and `to`, in either direction, found around `from`.
template <index_t D>
PolygonEdge edge_between(const karvel::TriangulatedSurface<D>& mesh, index_t from,
                         index_t to) {
  for (const auto& corner : mesh.polygons_around_vertex(from)) {
    const auto vertices = mesh.triangle_vertices(corner.polygon_id);
    const local_index_t i = corner.vertex_id;
    if (vertices[(i + 1) % 3] == to) return {corner.polygon_id, i};
    if (vertices[(i + 2) % 3] == to) {
      return {corner.polygon_id, static_cast<local_index_t>((i + 2) % 3)};
    }
  }
  return {};
}

// Lengths compared squared: no square root on the path of every split.
struct Longest {
  local_index_t edge;
  double squared_length;
};

// A triangle's longest edge, the lowest local index on a tie, as candidates choose it.
template <index_t D>
Longest longest_edge(const karvel::TriangulatedSurface<D>& mesh, index_t triangle) {
  const auto vertices = mesh.triangle_vertices(triangle);
  Longest longest{NO_LID, 0.0};
  for (local_index_t i = 0; i < 3; ++i) {
    const double squared_length = karvel::point_point_squared_distance<D>(
        mesh.point(vertices[i]), mesh.point(vertices[i == 2 ? 0 : i + 1]));
    if (squared_length > longest.squared_length) longest = {i, squared_length};
  }
  return longest;
}

}  // namespace

template <typename Model, typename Builder, index_t D>
typename GeometricModifier<Model, Builder, D>::SurfaceAccess
GeometricModifier<Model, Builder, D>::access(const karvel::Surface<D>& surface) {
  static constexpr const char* where = "[GeometricModifier::split_edge]";
  if (model_.find_surface(surface.id()) != &surface) {
    throw KarvelException{std::string{where} + " Surface " + surface.id().string() +
                          " is not a surface of this model"};
  }
  const auto* mesh =
      dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
  if (!mesh) {
    throw KarvelException{std::string{where} + " Surface " + surface.id().string() +
                          " is not triangulated"};
  }
  return {&surface, builder_.component_slot(surface.component_id()), mesh,
          builder_.triangulated_surface_builder(surface.id())};
}

template <typename Model, typename Builder, index_t D>
typename GeometricModifier<Model, Builder, D>::SurfaceAccess&
GeometricModifier<Model, Builder, D>::cached_access(const karvel::Surface<D>& surface) {
  // Components are never removed, so a surface of this model stays at its address.
  if (!last_access_ || last_access_->surface != &surface)
    last_access_.emplace(access(surface));
  return *last_access_;
}

template <typename Model, typename Builder, index_t D>
SplitPolygonEdgeInfo GeometricModifier<Model, Builder, D>::split_edge(
    const karvel::Surface<D>& surface, const PolygonEdge& edge,
    const karvel::Point<D>& point) {
  static constexpr const char* where = "[GeometricModifier::split_edge]";
  auto& own = cached_access(surface);
  const auto& mesh = *own.mesh;
  if (edge.polygon_id >= mesh.nb_polygons() || edge.edge_id > 2) {
    throw KarvelException{std::string{where} + " Edge (triangle " +
                          std::to_string(edge.polygon_id) + ", local edge " +
                          std::to_string(edge.edge_id) + ") is out of range in surface " +
                          surface.id().string() + " of " +
                          std::to_string(mesh.nb_polygons()) + " triangles"};
  }
  if (!point.is_finite()) {
    throw KarvelException{std::string{where} + " Split point of triangle " +
                          std::to_string(edge.polygon_id) + " in surface " +
                          surface.id().string() + " is not finite"};
  }
  SplitPolygonEdgeInfo result;
  // The propagation check reads all three points: fetch them together.
  for (const index_t vertex : mesh.triangle_vertices(edge.polygon_id)) {
    __builtin_prefetch(&mesh.point(vertex));
  }
  const local_index_t local = edge_holding(mesh, edge.polygon_id, edge.edge_id, point);
  if (local == NO_LID) return result;

  const PolygonEdge split{edge.polygon_id, local};
  if (!longer_edge_around(own, split)) {
    // The common case: the edge is already the longest of every triangle that holds it.
    result.new_unique_vertex = split_model_edge(own, split, point, result);
    return result;
  }
  // Longest-edge propagation: split first the longer edges of the triangles around, each
  // at its midpoint and after the longer edges around it in turn; the edges on the stack
  // grow strictly longer, so it ends. Edges are held by their vertices, which the splits
  // of other edges leave in place.
  struct Pending {
    const karvel::Surface<D>* surface;
    std::array<index_t, 2> ends;
    karvel::Point<D> point;
  };
  absl::InlinedVector<Pending, 8> path{
      {own.surface, mesh.triangle_edge_vertices(split), point}};
  while (!path.empty()) {
    const Pending pending = path.back();
    auto& holder = cached_access(*pending.surface);
    const PolygonEdge pending_edge =
        edge_between(*holder.mesh, pending.ends[0], pending.ends[1]);
    if (pending_edge.polygon_id == NO_ID) {
      // Only a split of this very edge removes it, and that is the last thing done to it.
      throw KarvelException{std::string{where} + " Lost the edge between vertices " +
                            std::to_string(pending.ends[0]) + " and " +
                            std::to_string(pending.ends[1]) + " of surface " +
                            pending.surface->id().string() + " on a propagation path"};
    }
    if (const auto longer = longer_edge_around(holder, pending_edge)) {
      path.push_back({longer->surface, longer->ends, longer->midpoint});
      continue;
    }
    const index_t unique_vertex =
        split_model_edge(holder, pending_edge, pending.point, result);
    path.pop_back();
    if (path.empty()) result.new_unique_vertex = unique_vertex;
  }
  return result;
}

template <typename Model, typename Builder, index_t D>
template <typename Visit>
void GeometricModifier<Model, Builder, D>::for_each_other_holder(
    index_t slot, const std::array<index_t, 2>& ends, Visit&& visit) const {
  const index_t unique_a = model_.unique_vertex(slot, ends[0]);
  const index_t unique_b = model_.unique_vertex(slot, ends[1]);
  // An end that no other component holds: the edge is this component's alone, O(1).
  if (unique_a == NO_ID || unique_b == NO_ID || model_.held_alone(slot, ends[0])) return;
  for (const auto& held : model_.slot_vertices(unique_a)) {
    if (held.slot == slot) continue;
    // A surface pinched at b has a vertex there per fan: the visit finds the edge at one.
    model_.for_each_vertex_in_slot(unique_b, held.slot, [&](index_t vertex_b) {
      visit(held.slot, std::array<index_t, 2>{held.vertex, vertex_b});
    });
  }
}

template <typename Model, typename Builder, index_t D>
std::optional<typename GeometricModifier<Model, Builder, D>::SurfaceAccess>
GeometricModifier<Model, Builder, D>::other_triangulated_surface(index_t slot) {
  const auto& component = model_.slot_component(slot);
  if (component.type != karvel::ComponentType::surface) return std::nullopt;
  const auto& surface = model_.surface(component.id);
  if (!dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh())) {
    return std::nullopt;
  }
  return access(surface);
}

template <typename Model, typename Builder, index_t D>
std::optional<typename GeometricModifier<Model, Builder, D>::LongerEdge>
GeometricModifier<Model, Builder, D>::longer_edge_around(SurfaceAccess& surface,
                                                         const PolygonEdge& edge) {
  const auto longer_in = [](const SurfaceAccess& holder,
                            const PolygonEdge& held) -> std::optional<LongerEdge> {
    const auto& mesh = *holder.mesh;
    const auto ends = mesh.triangle_edge_vertices(held);
    const auto& a = mesh.point(ends[0]);
    const auto& b = mesh.point(ends[1]);
    const double squared_length = karvel::point_point_squared_distance<D>(a, b);
    for (const index_t triangle : {held.polygon_id, mesh.polygon_adjacent(held)}) {
      if (triangle == NO_ID) continue;
      // The edge is the longest unless one of the two others, at the third vertex, is
      // longer: two distances, the full tie rule only on the rare way out.
      const auto vertices = mesh.triangle_vertices(triangle);
      const index_t third =
          vertices[0] != ends[0] && vertices[0] != ends[1]
              ? vertices[0]
              : (vertices[1] != ends[0] && vertices[1] != ends[1] ? vertices[1]
                                                                  : vertices[2]);
      const auto& c = mesh.point(third);
      if (!(karvel::point_point_squared_distance<D>(a, c) > squared_length) &&
          !(karvel::point_point_squared_distance<D>(b, c) > squared_length)) {
        continue;
      }
      const auto longest = longest_edge(mesh, triangle);
      const auto longer_ends = mesh.triangle_edge_vertices({triangle, longest.edge});
      return LongerEdge{
          holder.surface, longer_ends,
          karvel::midpoint<D>(mesh.point(longer_ends[0]), mesh.point(longer_ends[1]))};
    }
    return std::nullopt;
  };
  if (auto longer = longer_in(surface, edge)) return longer;
  std::optional<LongerEdge> found;
  for_each_other_holder(surface.slot, surface.mesh->triangle_edge_vertices(edge),
                        [&](index_t slot, const std::array<index_t, 2>& ends) {
                          if (found) return;
                          auto other = other_triangulated_surface(slot);
                          if (!other) return;
                          const auto other_edge =
                              edge_between(*other->mesh, ends[0], ends[1]);
                          if (other_edge.polygon_id != NO_ID)
                            found = longer_in(*other, other_edge);
                        });
  return found;
}

template <typename Model, typename Builder, index_t D>
index_t GeometricModifier<Model, Builder, D>::split_model_edge(
    SurfaceAccess& surface, const PolygonEdge& edge, const karvel::Point<D>& point,
    SplitPolygonEdgeInfo& result) {
  const auto ends = surface.mesh->triangle_edge_vertices(edge);
  const index_t unique_m = builder_.create_unique_vertex();
  split_in_surface(surface, edge, point, unique_m, result);
  for_each_other_holder(
      surface.slot, ends, [&](index_t slot, const std::array<index_t, 2>& held) {
        const auto& component = model_.slot_component(slot);
        if (component.type == karvel::ComponentType::line) {
          const index_t line_edge =
              model_.line(component.id).mesh().edge_from_vertices(held[0], held[1]);
          if (line_edge != NO_ID)
            split_in_line(component.id, slot, line_edge, point, unique_m, result);
          return;
        }
        auto other = other_triangulated_surface(slot);
        if (!other) return;
        const auto other_edge = edge_between(*other->mesh, held[0], held[1]);
        if (other_edge.polygon_id != NO_ID)
          split_in_surface(*other, other_edge, point, unique_m, result);
      });
  return unique_m;
}

template <typename Model, typename Builder, index_t D>
void GeometricModifier<Model, Builder, D>::split_in_surface(
    SurfaceAccess& surface, const PolygonEdge& edge, const karvel::Point<D>& point,
    index_t unique_vertex, SplitPolygonEdgeInfo& result) {
  const index_t vertex = surface.builder.create_point(point);
  builder_.set_unique_vertex(surface.slot, vertex, unique_vertex);
  const auto halves = surface.builder.split_edge(edge, vertex);
  auto& split = result.surface_splits[surface.surface->id()].emplace_back();
  split.new_vertex = vertex;
  split.first.polygons.emplace_back(halves.reshaped[0], halves.created[0]);
  split.first.polygons.emplace_back(halves.created[0], halves.reshaped[0]);
  if (halves.reshaped[1] != NO_ID) {
    split.second.polygons.emplace_back(halves.reshaped[1], halves.created[1]);
    split.second.polygons.emplace_back(halves.created[1], halves.reshaped[1]);
  }
}

template <typename Model, typename Builder, index_t D>
void GeometricModifier<Model, Builder, D>::split_in_line(const uuid& line, index_t slot,
                                                         index_t edge,
                                                         const karvel::Point<D>& point,
                                                         index_t unique_vertex,
                                                         SplitPolygonEdgeInfo& result) {
  auto mesh = builder_.line_mesh_builder(line);
  const index_t vertex = mesh.create_point(point);
  builder_.set_unique_vertex(slot, vertex, unique_vertex);
  const index_t new_edge = mesh.split_edge(edge, vertex);
  result.line_splits[line].push_back({vertex, edge, new_edge});
}

template <typename Model, typename Builder, index_t D>
std::vector<index_t> GeometricModifier<Model, Builder, D>::representatives(
    index_t slot, index_t nb_vertices) const {
  std::vector<index_t> result;
  for (index_t v = 0; v < nb_vertices; ++v) {
    const index_t unique = model_.unique_vertex(slot, v);
    if (unique == NO_ID) continue;
    // Several vertices of this component may share a model vertex: merge onto the
    // smallest of them.
    index_t smallest = v;
    for (const auto& held : model_.slot_vertices(unique)) {
      if (held.slot == slot) smallest = std::min(smallest, held.vertex);
    }
    if (smallest == v) continue;
    if (result.empty()) {
      result.resize(nb_vertices);
      for (index_t i = 0; i < nb_vertices; ++i) result[i] = i;
    }
    result[v] = smallest;
  }
  return result;
}

template <typename Model, typename Builder, index_t D>
void GeometricModifier<Model, Builder, D>::clean_edges_lines() {
  for (const auto& line : model_.lines()) {
    const index_t slot = model_.component_slot(line.id());
    const auto& mesh = line.mesh();
    auto representative = slot == NO_ID ? std::vector<index_t>{}
                                        : representatives(slot, mesh.nb_vertices());
    bool changes = !representative.empty();
    for (index_t e = 0; e < mesh.nb_edges() && !changes; ++e) {
      changes = mesh.edge_vertices(e)[0] == mesh.edge_vertices(e)[1];
    }
    for (index_t v = 0; v < mesh.nb_vertices() && !changes; ++v) {
      changes = mesh.edges_around_vertex(v).empty();
    }
    if (!changes) continue;
    if (representative.empty()) {
      representative.resize(mesh.nb_vertices());
      for (index_t i = 0; i < mesh.nb_vertices(); ++i) representative[i] = i;
    }
    const auto old_to_new =
        builder_.line_mesh_builder(line.id()).merge_vertices(representative);
    if (slot != NO_ID) builder_.update_component_vertices(slot, old_to_new);
  }
}

template <typename Model, typename Builder, index_t D>
void GeometricModifier<Model, Builder, D>::clean_triangles_surfaces() {
  bool changed = false;
  for (const auto& surface : model_.surfaces()) {
    const auto* mesh =
        dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) continue;
    const index_t slot = model_.component_slot(surface.id());
    bool changes = false;
    for (index_t t = 0; t < mesh->nb_polygons() && !changes; ++t) {
      const auto v = mesh->triangle_vertices(t);
      changes = v[0] == v[1] || v[1] == v[2] || v[2] == v[0];
    }
    for (index_t v = 0; v < mesh->nb_vertices() && !changes; ++v) {
      changes = mesh->polygon_around_vertex(v).polygon_id == NO_ID;
    }
    if (!changes) continue;
    // Vertices of one surface at one model vertex are the fans of a pinched vertex: they
    // stay apart.
    std::vector<index_t> representative(mesh->nb_vertices());
    for (index_t i = 0; i < mesh->nb_vertices(); ++i) representative[i] = i;
    const auto old_to_new = builder_.triangulated_surface_builder(surface.id())
                                .merge_vertices(representative);
    if (slot != NO_ID) builder_.update_component_vertices(slot, old_to_new);
    changed = true;
  }
  if (changed) builder_.delete_unused_unique_vertices();
}

template class GeometricModifier<BRep, BRepBuilder, 3>;
template class GeometricModifier<Section, SectionBuilder, 2>;

}  // namespace hollent
