#pragma once

// Measures that tests compare before and after a change of a model.

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

}  // namespace fixtures
