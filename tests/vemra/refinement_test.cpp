#include <gtest/gtest.h>

#include <karvel/model/checker.h>
#include <vemra/remeshing/detail/splitter.h>
#include <vemra/remeshing/model_kind.h>

#include "fixtures.h"
#include "model_measures.h"
#include "test_metrics.h"

namespace vemra {
namespace {

using karvel::index_t;

using fixtures::ConstantMetric;
using fixtures::GradedMetric;

template <typename Model>
using SplitterOf = detail::Splitter<Model, typename ModelKind<Model>::Modifier,
                                    ModelKind<Model>::dimension>;

// After refinement: valid model, same areas, every longest edge fits twice the metric.
template <typename Model>
double refine_and_check(Model& model, const Metric<Model::dim>& metric) {
  const auto areas = fixtures::surface_areas(model);
  SplitterOf<Model> splitter{model, metric};
  splitter.split();
  const auto report = karvel::check_model(model);
  EXPECT_TRUE(report.ok()) << report.text();
  for (const auto& [id, area] : fixtures::surface_areas(model)) {
    EXPECT_NEAR(area, areas.at(id), 1e-9 * std::max(1.0, area));
  }
  for (const auto& violation : fixtures::size_bound_violations(model, metric)) {
    ADD_FAILURE() << violation;
  }
  return fixtures::smallest_angle(model);
}

TEST(Refinement, UniformSizeOnTheFixtures) {
  for (const auto& [name, make] :
       {std::pair{"cube", fixtures::cube}, std::pair{"book", fixtures::book},
        std::pair{"fin", fixtures::square_with_fin}}) {
    SCOPED_TRACE(name);
    auto model = make();
    const double input_angle = fixtures::smallest_angle(model);
    const ConstantMetric<3> metric{0.04};
    EXPECT_GE(refine_and_check(model, metric), input_angle / 2);
    EXPECT_GT(fixtures::nb_triangles(model), 1000u);
  }
  auto section = fixtures::two_regions();
  const double input_angle = fixtures::smallest_angle(section);
  EXPECT_GE(refine_and_check(section, ConstantMetric<2>{0.02}), input_angle / 2);
}

// A sliver of about 2.3 degrees, alone in its surface.
karvel::BRep needle() {
  fixtures::Soup<3> soup;
  soup.points = {karvel::Point<3>{{0, 0, 0}}, karvel::Point<3>{{1, 0, 0}},
                 karvel::Point<3>{{0.5, 0.02, 0}}};
  soup.triangles = {{0, 1, 2}};
  soup.patches = {0};
  return fixtures::brep(soup);
}

// Longest-edge propagation keeps the bisection's bound, half the input's smallest angle,
// however fast the size grows.
TEST(Refinement, GradedSizeKeepsHalfTheSmallestAngle) {
  auto fixtures_3d = fixtures::brep_fixtures();
  fixtures_3d.push_back({"needle", needle});
  for (const double slope : {0.3, 1.0, 4.0}) {
    SCOPED_TRACE(slope);
    for (const auto& [name, make] : fixtures_3d) {
      SCOPED_TRACE(name);
      auto model = make();
      const double input_angle = fixtures::smallest_angle(model);
      EXPECT_GE(refine_and_check(model, GradedMetric<3>{0.005, slope}), input_angle / 2);
    }
    auto section = fixtures::two_regions();
    const double input_angle = fixtures::smallest_angle(section);
    EXPECT_GE(refine_and_check(section, GradedMetric<2>{0.005, slope}), input_angle / 2);
  }
}

TEST(Refinement, RegularGridWithManyEqualLengthsStaysValid) {
  auto grid = fixtures::section(fixtures::grid_soup<2>(8));
  refine_and_check(grid, ConstantMetric<2>{0.01});
  auto again = fixtures::brep(fixtures::grid_soup<3>(8));
  refine_and_check(again, GradedMetric<3>{0.005, 0.5});
}

}  // namespace
}  // namespace vemra
