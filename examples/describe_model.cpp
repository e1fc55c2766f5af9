// Builds a small model from a triangle soup, prints its components and relationships,
// and evaluates a size field on it.

#include <cmath>
#include <iostream>

#include <karvel/karvel.h>
#include <vemra/remeshing/metric.h>

namespace {

// Fine near the plane z = 0, coarser away from it.
class DistanceToPlane : public vemra::Metric<3> {
 public:
  double point_metric(const karvel::Point<3>& point) const override {
    return 0.05 + 0.2 * std::fabs(point.value(2));
  }
};

}  // namespace

int main() {
  using karvel::Point;
  // Three pages of a book sharing a spine: the spine is a line bounding three surfaces.
  const std::vector<Point<3>> points{Point<3>{{0, 0, 0}},  Point<3>{{0, 0, 1}},
                                     Point<3>{{1, 0, 0}},  Point<3>{{1, 0, 1}},
                                     Point<3>{{0, 1, 0}},  Point<3>{{0, 1, 1}},
                                     Point<3>{{-1, 0, 0}}, Point<3>{{-1, 0, 1}}};
  const std::vector<std::array<karvel::index_t, 3>> triangles{
      {0, 2, 3}, {0, 3, 1}, {0, 4, 5}, {0, 5, 1}, {0, 6, 7}, {0, 7, 1}};
  const std::vector<karvel::index_t> patches{0, 0, 1, 1, 2, 2};
  const auto model = karvel::brep_from_patches(points, triangles, patches);

  std::cout << "BRep: " << model.nb_surfaces() << " surfaces, " << model.nb_lines()
            << " lines, " << model.nb_corners() << " corners, "
            << model.nb_unique_vertices() << " unique vertices\n";
  for (const auto& line : model.lines()) {
    std::cout << "  " << line.name() << " (" << line.mesh().nb_edges()
              << " edges) bounds";
    for (const auto& surface : model.incidences(line.id())) {
      std::cout << " '" << model.surface(surface.id).name() << "'";
    }
    std::cout << "\n";
  }
  const DistanceToPlane metric;
  for (const auto& surface : model.surfaces()) {
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<3>&>(surface.get_mesh());
    std::cout << "  " << surface.name() << ": " << mesh.nb_polygons()
              << " triangles, size at triangle 0 = "
              << metric.triangle_metric(mesh.triangle(0)) << "\n";
  }
}
