// Refines a model through the installed library, as a user would: on one thread and on
// two, which must give the same model, and in the exact order, which must give the
// remeshing data's background.

#include <array>
#include <cstdio>
#include <vector>

#include <tbb/global_control.h>

#include <karvel/karvel.h>
#include <vemra/refine.h>
#include <vemra/remeshing/remeshing_data.h>

namespace {

class Graded : public vemra::Metric<3> {
 public:
  double point_metric(const karvel::Point<3>& p) const override {
    return 0.01 + 0.2 * p.value(0) * p.value(0);
  }
};

// A square in two patches, cut along x = 0.5.
karvel::BRep square() {
  const std::vector<karvel::Point<3>> points{
      karvel::Point<3>{{0, 0, 0}},   karvel::Point<3>{{0.5, 0, 0}},
      karvel::Point<3>{{1, 0, 0}},   karvel::Point<3>{{0, 1, 0}},
      karvel::Point<3>{{0.5, 1, 0}}, karvel::Point<3>{{1, 1, 0}}};
  const std::vector<std::array<karvel::index_t, 3>> triangles{
      {0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}};
  const std::vector<karvel::index_t> patches{0, 0, 1, 1};
  return karvel::brep_from_patches(points, triangles, patches);
}

// Every point and triangle, in order.
std::vector<double> contents(const karvel::BRep& model) {
  std::vector<double> values;
  for (const auto& surface : model.surfaces()) {
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<3>&>(surface.get_mesh());
    for (karvel::index_t v = 0; v < mesh.nb_vertices(); ++v) {
      for (karvel::index_t axis = 0; axis < 3; ++axis)
        values.push_back(mesh.point(v).value(axis));
    }
    for (karvel::index_t t = 0; t < mesh.nb_polygons(); ++t) {
      for (const auto vertex : mesh.triangle_vertices(t)) values.push_back(vertex);
    }
  }
  return values;
}

}  // namespace

int main() {
  const Graded metric;
  // The default (banded) order on 1 and 2 threads, then the exact order.
  std::vector<double> results[3];
  vemra::RefineReport reports[3];
  for (const int run : {0, 1, 2}) {
    const tbb::global_control pool{tbb::global_control::max_allowed_parallelism,
                                   std::size_t(run == 1 ? 2 : 1)};
    auto model = square();
    vemra::RefineOptions options;
    if (run == 2) options.order = vemra::SplitOrder::exact;
    reports[run] = vemra::refine(model, metric, options);
    if (!karvel::check_model(model).ok()) {
      std::printf("installed library: INVALID model in run %d\n", run);
      return 1;
    }
    results[run] = contents(model);
  }
  // The remeshing data's background is refined in the exact order.
  const auto input = square();
  karvel::BRep output;
  const auto data = vemra::initialize_remeshing_data(input, output, metric);
  const bool same = results[0] == results[1] && contents(data.background) == results[2];
  std::printf("installed library: %zu -> %zu triangles, %s on 1 and 2 threads%s\n",
              reports[0].triangles_before, reports[0].triangles_after,
              same ? "the same model" : "DIFFERENT models",
              same ? ", the exact order as in the remeshing data" : "");
  return same && reports[0].triangles_after > 100 ? 0 : 1;
}
