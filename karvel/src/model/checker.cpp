#include <karvel/model/checker.h>

#include <sstream>

#include <karvel/mesh/group_by_vertex.h>
#include <karvel/mesh/triangulated_surface.h>

namespace karvel {
namespace {

template <index_t D>
bool surface_has_edge(const TriangulatedSurface<D>& mesh, index_t from, index_t to) {
  for (const auto& corner : mesh.polygons_around_vertex(from)) {
    const auto v = mesh.triangle_vertices(corner.polygon_id);
    const local_index_t i = corner.vertex_id;
    if (v[(i + 1) % 3] == to || v[(i + 2) % 3] == to) return true;
  }
  return false;
}

template <typename Model, index_t D>
class Checker {
 public:
  explicit Checker(const Model& model) : model_{model} {}

  ModelCheckReport run() {
    for (const auto& surface : model_.surfaces()) check_surface(surface);
    for (const auto& line : model_.lines()) check_line(line);
    check_unique_vertices();
    return std::move(report_);
  }

 private:
  template <typename... Parts>
  void problem(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    report_.problems.push_back(out.str());
  }

  void check_vertex_tied(const ComponentID& component, index_t slot, index_t vertex) {
    if (slot == NO_ID || model_.unique_vertex(slot, vertex) == NO_ID) {
      problem(component, ": vertex ", vertex, " has no unique vertex");
    }
  }

  void check_surface(const Surface<D>& surface) {
    const auto* mesh = dynamic_cast<const TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) return;
    const auto id = surface.component_id();
    const index_t slot = model_.component_slot(surface.id());
    std::vector<index_t> nb_corners(mesh->nb_vertices(), 0);
    for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
      const auto v = mesh->triangle_vertices(t);
      for (const index_t vertex : v) {
        if (vertex >= mesh->nb_vertices()) {
          problem(id, ": triangle ", t, " uses vertex ", vertex, " out of range");
          return;
        }
        ++nb_corners[vertex];
      }
      if (v[0] == v[1] || v[1] == v[2] || v[2] == v[0]) {
        problem(id, ": triangle ", t, " repeats a vertex (", v[0], ", ", v[1], ", ", v[2],
                ")");
      }
    }
    for (index_t v = 0; v < mesh->nb_vertices(); ++v) {
      if (nb_corners[v] == 0) problem(id, ": vertex ", v, " is not used");
      check_vertex_tied(id, slot, v);
    }
    const std::size_t problems_before = report_.problems.size();
    check_links(id, *mesh);
    // Walking a fan needs sound links.
    if (report_.problems.size() == problems_before) check_one_fan(id, *mesh, nb_corners);
    for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
      for (local_index_t e = 0; e < 3; ++e) {
        if (mesh->polygon_adjacent({t, e}) == NO_ID && slot != NO_ID) {
          check_border_covered(id, slot, *mesh, t, e);
        }
      }
    }
  }

  // Every link joins two triangles that run the same edge in opposite directions and
  // link back; every edge left unlinked (a border) is held by no other triangle. One pass
  // over the links, then the corners at border vertices only: linear, and no copy of the
  // adjacency.
  void check_links(const ComponentID& id, const TriangulatedSurface<D>& mesh) {
    const index_t nb_triangles = mesh.nb_polygons();
    std::vector<bool> on_border(mesh.nb_vertices(), false);
    for (index_t t = 0; t < nb_triangles; ++t) {
      for (local_index_t e = 0; e < 3; ++e) {
        const auto ends = mesh.triangle_edge_vertices({t, e});
        const index_t n = mesh.polygon_adjacent({t, e});
        if (n == NO_ID) {
          on_border[ends[0]] = on_border[ends[1]] = true;
          continue;
        }
        const local_index_t back =
            n < nb_triangles ? mesh.edge_from_vertices(n, ends[1], ends[0]) : NO_LID;
        if (back == NO_LID) {
          problem(id, ": triangle ", t, " edge ", int(e), " is linked to ", n,
                  ", which does not run edge (", ends[1], ", ", ends[0], ")");
        } else if (mesh.polygon_adjacent({n, back}) != t) {
          problem(id, ": triangle ", n, " edge ", int(back), " is linked to ",
                  mesh.polygon_adjacent({n, back}), " instead of ", t);
        }
      }
    }
    const auto border_triangles =
        detail::group_by_vertex<index_t>(mesh.nb_vertices(), [&](auto&& visit) {
          for (index_t t = 0; t < nb_triangles; ++t) {
            for (const index_t v : mesh.triangle_vertices(t)) {
              if (on_border[v]) visit(v, t);
            }
          }
        });
    for (index_t t = 0; t < nb_triangles; ++t) {
      for (local_index_t e = 0; e < 3; ++e) {
        if (mesh.polygon_adjacent({t, e}) != NO_ID) continue;
        const auto ends = mesh.triangle_edge_vertices({t, e});
        for (index_t c = border_triangles.first[ends[0]];
             c < border_triangles.first[ends[0] + 1]; ++c) {
          const index_t other = border_triangles.items[c];
          if (other == t) continue;
          if (mesh.edge_from_vertices(other, ends[0], ends[1]) != NO_LID) {
            problem(id, ": triangles ", t, " and ", other,
                    " are not consistently oriented across edge (", ends[0], ", ",
                    ends[1], ")");
          } else if (mesh.edge_from_vertices(other, ends[1], ends[0]) != NO_LID) {
            problem(id, ": triangle ", t, " edge ", int(e), " is not linked to triangle ",
                    other, ", which holds edge (", ends[1], ", ", ends[0], ")");
          }
        }
      }
    }
  }

  // The triangles at a vertex form one fan: a surface that touches itself at a point has
  // a vertex there per fan. The fan of the triangle the mesh keeps for each vertex is
  // counted, not collected.
  void check_one_fan(const ComponentID& id, const TriangulatedSurface<D>& mesh,
                     const std::vector<index_t>& nb_corners) {
    const auto local_index = [&mesh](index_t triangle, index_t vertex) {
      const auto v = mesh.triangle_vertices(triangle);
      return local_index_t(v[0] == vertex ? 0 : v[1] == vertex ? 1 : 2);
    };
    for (index_t vertex = 0; vertex < mesh.nb_vertices(); ++vertex) {
      if (nb_corners[vertex] == 0) continue;
      const auto start = mesh.polygon_around_vertex(vertex);
      if (start.polygon_id == NO_ID || mesh.polygon_vertex(start) != vertex) {
        problem(id, ": vertex ", vertex, " is not at the corner kept for it");
        continue;
      }
      // Forward across the edge that leaves the vertex; back across the one that enters
      // it when the fan is open. A fan has no more corners than the vertex: the walks
      // stop there, whatever the links.
      index_t in_fan = 0;
      auto corner = start;
      bool closed = false;
      while (!closed && in_fan <= nb_corners[vertex]) {
        ++in_fan;
        const index_t next = mesh.polygon_adjacent({corner.polygon_id, corner.vertex_id});
        if (next == NO_ID) break;
        corner = {next, local_index(next, vertex)};
        closed = corner.polygon_id == start.polygon_id;
      }
      for (corner = start; !closed && in_fan <= nb_corners[vertex];) {
        const index_t previous = mesh.polygon_adjacent(
            {corner.polygon_id, local_index_t((corner.vertex_id + 2) % 3)});
        if (previous == NO_ID) break;
        corner = {previous, local_index(previous, vertex)};
        ++in_fan;
      }
      if (in_fan != nb_corners[vertex]) {
        problem(id, ": vertex ", vertex, " joins ", nb_corners[vertex],
                " triangles in more than one fan");
      }
    }
  }

  void check_border_covered(const ComponentID& id, index_t slot,
                            const TriangulatedSurface<D>& mesh, index_t t,
                            local_index_t e) {
    const auto v = mesh.polygon_edge_vertices({t, e});
    const index_t ua = model_.unique_vertex(slot, v[0]);
    const index_t ub = model_.unique_vertex(slot, v[1]);
    if (ua == NO_ID || ub == NO_ID) return;
    for (const auto& held : model_.slot_vertices(ua)) {
      const auto& component = model_.slot_component(held.slot);
      if (component.type != ComponentType::line) continue;
      bool covered = false;
      model_.for_each_vertex_in_slot(ub, held.slot, [&](index_t vb) {
        covered =
            covered ||
            model_.line(component.id).mesh().edge_from_vertices(held.vertex, vb) != NO_ID;
      });
      if (covered) return;
    }
    problem(id, ": border edge (", v[0], ", ", v[1], ") of triangle ", t,
            " is on no line");
  }

  void check_line(const Line<D>& line) {
    const auto& mesh = line.mesh();
    const auto id = line.component_id();
    const index_t slot = model_.component_slot(line.id());
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      if (mesh.edges_around_vertex(v).empty())
        problem(id, ": vertex ", v, " is not used");
      check_vertex_tied(id, slot, v);
    }
    if (slot == NO_ID) return;
    std::vector<ComponentID> surfaces;
    for (const auto& c : model_.incidences(line.id())) {
      if (c.type == ComponentType::surface) surfaces.push_back(c);
    }
    for (const auto& c : model_.embeddings(line.id())) {
      if (c.type == ComponentType::surface) surfaces.push_back(c);
    }
    for (index_t e = 0; e < mesh.nb_edges(); ++e) {
      const auto& v = mesh.edge_vertices(e);
      if (v[0] == v[1]) {
        problem(id, ": edge ", e, " repeats vertex ", v[0]);
        continue;
      }
      const index_t ua = model_.unique_vertex(slot, v[0]);
      const index_t ub = model_.unique_vertex(slot, v[1]);
      if (ua == NO_ID || ub == NO_ID) continue;
      for (const auto& surface : surfaces) {
        const index_t surface_slot = model_.component_slot(surface.id);
        const auto* surface_mesh = dynamic_cast<const TriangulatedSurface<D>*>(
            &model_.surface(surface.id).get_mesh());
        if (surface_slot == NO_ID || !surface_mesh) continue;
        // A surface pinched at an end has a vertex there per fan.
        bool found = false;
        model_.for_each_vertex_in_slot(ua, surface_slot, [&](index_t va) {
          model_.for_each_vertex_in_slot(ub, surface_slot, [&](index_t vb) {
            found = found || surface_has_edge(*surface_mesh, va, vb);
          });
        });
        if (!found) {
          problem(id, ": edge ", e, " (", v[0], ", ", v[1], ") is missing from ",
                  surface);
        }
      }
    }
  }

  const Point<D>& component_point(const ComponentID& component, index_t vertex) const {
    switch (component.type) {
      case ComponentType::corner:
        return model_.corner(component.id).mesh().point(vertex);
      case ComponentType::line:
        return model_.line(component.id).mesh().point(vertex);
      default:
        return model_.surface(component.id).get_mesh().point(vertex);
    }
  }

  void check_unique_vertices() {
    for (index_t u = 0; u < model_.nb_unique_vertices(); ++u) {
      const Point<D>* first = nullptr;
      for (const auto& held : model_.slot_vertices(u)) {
        const auto& component = model_.slot_component(held.slot);
        const auto& point = component_point(component, held.vertex);
        if (!first) {
          first = &point;
        } else if (point != *first) {
          problem("unique vertex ", u, ": ", component, " vertex ", held.vertex,
                  " is at ", point, ", not at ", *first);
        }
      }
    }
  }

  const Model& model_;
  ModelCheckReport report_;
};

}  // namespace

std::string ModelCheckReport::text() const {
  std::string text;
  for (const auto& line : problems) text += line + "\n";
  return text;
}

ModelCheckReport check_model(const BRep& model) { return Checker<BRep, 3>{model}.run(); }
ModelCheckReport check_model(const Section& model) {
  return Checker<Section, 2>{model}.run();
}

}  // namespace karvel
