#pragma once

// Measures that tests compare before and after a change of a model.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/geometry/mensuration.h>
#include <karvel/mesh/triangulated_surface.h>

namespace fixtures {

template <typename Model>
absl::flat_hash_map<karvel::uuid, double> surface_areas(const Model& model) {
  absl::flat_hash_map<karvel::uuid, double> areas;
  for (const auto& surface : model.surfaces()) {
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<Model::dim>&>(surface.get_mesh());
    double area = 0;
    for (karvel::index_t t = 0; t < mesh.nb_polygons(); ++t) {
      area += karvel::triangle_area(mesh.triangle(t));
    }
    areas[surface.id()] = area;
  }
  return areas;
}

template <typename Model>
double smallest_angle(const Model& model) {
  double smallest = 180;
  for (const auto& surface : model.surfaces()) {
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<Model::dim>&>(surface.get_mesh());
    for (karvel::index_t t = 0; t < mesh.nb_polygons(); ++t) {
      smallest = std::min(smallest, karvel::triangle_smallest_angle(mesh.triangle(t)));
    }
  }
  return smallest;
}

template <typename Model>
karvel::index_t nb_triangles(const Model& model) {
  karvel::index_t count = 0;
  for (const auto& surface : model.surfaces()) count += surface.get_mesh().nb_polygons();
  return count;
}

// The triangles whose longest edge is longer than twice the metric at its midpoint (at
// every longest edge, where several tie), measured from the points alone.
template <typename Model, typename Metric>
std::vector<std::string> size_bound_violations(const Model& model, const Metric& metric) {
  constexpr karvel::index_t D = Model::dim;
  std::vector<std::string> violations;
  for (const auto& surface : model.surfaces()) {
    const auto* mesh =
        dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) continue;
    for (karvel::index_t t = 0; t < mesh->nb_polygons(); ++t) {
      const auto v = mesh->triangle_vertices(t);
      std::array<double, 3> lengths;
      for (int i = 0; i < 3; ++i) {
        double squared = 0;
        for (karvel::index_t axis = 0; axis < D; ++axis) {
          const double d =
              mesh->point(v[i]).value(axis) - mesh->point(v[(i + 1) % 3]).value(axis);
          squared += d * d;
        }
        lengths[i] = std::sqrt(squared);
      }
      const double longest = std::max({lengths[0], lengths[1], lengths[2]});
      bool fits = false;
      for (int i = 0; i < 3; ++i) {
        if (lengths[i] != longest) continue;
        std::array<double, D> middle;
        for (karvel::index_t axis = 0; axis < D; ++axis) {
          middle[axis] =
              (mesh->point(v[i]).value(axis) + mesh->point(v[(i + 1) % 3]).value(axis)) /
              2;
        }
        fits = fits || longest <= 2 * metric.point_metric(karvel::Point<D>{middle});
      }
      if (!fits) {
        std::ostringstream text;
        text << surface.name() << " triangle " << t << ": longest edge " << longest;
        violations.push_back(text.str());
      }
    }
  }
  return violations;
}

// Every point (its bits), triangle and line edge of the model, in the model's order:
// equal exactly when the meshes are the same.
template <typename Model>
std::vector<std::uint64_t> fingerprint(const Model& model) {
  std::vector<std::uint64_t> bits;
  const auto add_points = [&bits](const auto& mesh) {
    bits.push_back(mesh.nb_vertices());
    for (karvel::index_t v = 0; v < mesh.nb_vertices(); ++v) {
      for (karvel::index_t axis = 0; axis < Model::dim; ++axis) {
        const double value = mesh.point(v).value(axis);
        std::uint64_t word;
        std::memcpy(&word, &value, sizeof(word));
        bits.push_back(word);
      }
    }
  };
  for (const auto& surface : model.surfaces()) {
    const auto& mesh = surface.get_mesh();
    add_points(mesh);
    bits.push_back(mesh.nb_polygons());
    for (karvel::index_t p = 0; p < mesh.nb_polygons(); ++p) {
      for (karvel::local_index_t i = 0; i < mesh.nb_polygon_vertices(p); ++i) {
        bits.push_back(mesh.polygon_vertex({p, i}));
      }
    }
  }
  for (const auto& line : model.lines()) {
    add_points(line.mesh());
    for (karvel::index_t e = 0; e < line.mesh().nb_edges(); ++e) {
      bits.push_back(line.mesh().edge_vertices(e)[0]);
      bits.push_back(line.mesh().edge_vertices(e)[1]);
    }
  }
  return bits;
}

// Pairs of vertices of one surface at one model vertex: a surface pinched there.
template <typename Model>
karvel::index_t nb_pinched_vertices(const Model& model) {
  karvel::index_t count = 0;
  for (const auto& surface : model.surfaces()) {
    const karvel::index_t slot = model.component_slot(surface.id());
    for (karvel::index_t v = 0; v < surface.get_mesh().nb_vertices(); ++v) {
      const karvel::index_t unique = model.unique_vertex(slot, v);
      if (model.vertex_in_slot(unique, slot) != v) ++count;
    }
  }
  return count;
}

}  // namespace fixtures
