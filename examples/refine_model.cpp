// Builds a model from a triangle soup, refines it to a size field with vemra::refine, and
// prints the report.

#include <cmath>
#include <iostream>

#include <karvel/karvel.h>
#include <vemra/refine.h>

// Your size field: the target edge length at a point. Called from several threads.
class NearHorizon : public vemra::Metric<3> {
 public:
  double point_metric(const karvel::Point<3>& p) const override {
    return 0.01 + 0.1 * std::fabs(p.value(2));
  }
};

int main() {
  using karvel::Point;
  // Two faces of a fold meeting along the line x = 0, one patch each.
  const std::vector<Point<3>> points{Point<3>{{0, 0, 0}},  Point<3>{{0, 1, 0}},
                                     Point<3>{{1, 0, 1}},  Point<3>{{1, 1, 1}},
                                     Point<3>{{-1, 0, 0}}, Point<3>{{-1, 1, 0}}};
  const std::vector<std::array<karvel::index_t, 3>> triangles{
      {0, 2, 3}, {0, 3, 1}, {0, 1, 5}, {0, 5, 4}};
  const std::vector<karvel::index_t> patches{0, 0, 1, 1};
  karvel::BRep model = karvel::brep_from_patches(points, triangles, patches);

  vemra::RefineOptions options;
  options.record_origins = true;  // which input triangle each output triangle lies in
  const auto report = vemra::refine(model, NearHorizon{}, options);

  std::cout << report.triangles_before << " -> " << report.triangles_after
            << " triangles, " << report.splits << " splits in "
            << report.fill_seconds + report.split_seconds + report.clean_seconds
            << " s\n";
  for (const auto& surface : model.surfaces()) {
    std::cout << surface.name() << ": " << surface.get_mesh().nb_polygons()
              << " triangles, triangle 0 lies in input triangle "
              << report.origins.at(surface.id()).at(0) << "\n";
  }
  return karvel::check_model(model).ok() ? 0 : 1;
}
