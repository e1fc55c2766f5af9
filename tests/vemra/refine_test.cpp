#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>
#include <tbb/task_group.h>

#include <karvel/geometry/mensuration.h>
#include <karvel/model/checker.h>
#include <vemra/refine.h>
#include <vemra/remeshing/detail/splitter.h>
#include <vemra/remeshing/model_kind.h>

#include "fixtures.h"
#include "model_measures.h"
#include "named_models.h"
#include "test_metrics.h"

namespace vemra {
namespace {

using fixtures::ConstantMetric;
using fixtures::GradedMetric;
using karvel::BRep;
using karvel::index_t;
using karvel::Section;

using fixtures::NamedModel;

std::vector<NamedModel<BRep>> breps() {
  return {{"cube", fixtures::cube, 0.05},
          {"book", fixtures::book, 0.05},
          {"icosphere", [] { return fixtures::brep(fixtures::icosphere_soup(3)); }, 0.02},
          {"bowtie", [] { return fixtures::brep(fixtures::bowtie_soup<3>()); }, 0.02},
          {"two cones", [] { return fixtures::brep(fixtures::two_cones_soup()); }, 0.05},
          {"icosphere sectors",
           [] { return fixtures::brep(fixtures::icosphere_sectors_soup()); }, 0.02},
          {"checkerboard",
           [] { return fixtures::brep(fixtures::checkerboard_soup<3>(12, 3)); }, 0.01}};
}

std::vector<NamedModel<Section>> sections() {
  return {
      {"two regions", fixtures::two_regions, 0.02},
      {"bowtie", [] { return fixtures::section(fixtures::bowtie_soup<2>()); }, 0.02},
      {"checkerboard",
       [] { return fixtures::section(fixtures::checkerboard_soup<2>(12, 3)); }, 0.01}};
}

// Runs `body(named model)` over the fixtures of both kinds.
template <typename Body>
void for_each_fixture(Body body) {
  fixtures::for_each_named(breps(), sections(), body);
}

template <typename Model>
void expect_valid(const Model& model) {
  const auto report = karvel::check_model(model);
  EXPECT_TRUE(report.ok()) << report.text();
}

TEST(Refine, GivesWhatTheSplitterGives) {
  for_each_fixture([](const auto& named) {
    using Model = std::decay_t<decltype(named.make())>;
    constexpr index_t D = ModelKind<Model>::dimension;
    const GradedMetric<D> metric{named.size, 0.5};
    auto by_refine = named.make();
    RefineOptions exact;
    exact.order = SplitOrder::exact;
    const auto report = refine(by_refine, metric, exact);
    auto by_splitter = named.make();
    detail::Splitter<Model, typename ModelKind<Model>::Modifier, D>{by_splitter, metric}
        .split();
    EXPECT_EQ(fixtures::fingerprint(by_refine), fixtures::fingerprint(by_splitter));
    EXPECT_EQ(report.triangles_after, fixtures::nb_triangles(by_refine));
    EXPECT_GT(report.splits, 0u);
    EXPECT_FALSE(report.stopped);
    EXPECT_TRUE(report.origins.empty());
  });
}

const SplitOrder orders[] = {SplitOrder::exact, SplitOrder::banded};

std::string order_name(SplitOrder order) {
  return order == SplitOrder::exact ? "exact" : "banded";
}

// The whole refined model, bit for bit, on any number of threads and from run to run.
TEST(ParallelRefine, SameModelOnAnyNumberOfThreads) {
  for_each_fixture([](const auto& named) {
    using Model = std::decay_t<decltype(named.make())>;
    constexpr index_t D = ModelKind<Model>::dimension;
    const ConstantMetric<D> uniform{named.size};
    const GradedMetric<D> graded{named.size / 2, 0.3};
    for (const SplitOrder order : orders) {
      for (const Metric<D>* metric : {static_cast<const Metric<D>*>(&uniform),
                                      static_cast<const Metric<D>*>(&graded)}) {
        std::vector<std::uint64_t> single;
        for (const std::size_t threads : {1, 2, 4, 2}) {
          SCOPED_TRACE(order_name(order) + ", threads " + std::to_string(threads));
          tbb::global_control pool{tbb::global_control::max_allowed_parallelism, threads};
          auto model = named.make();
          RefineOptions options;
          options.order = order;
          refine(model, *metric, options);
          if (single.empty()) {
            single = fixtures::fingerprint(model);
          } else {
            EXPECT_EQ(fixtures::fingerprint(model), single);
          }
        }
      }
    }
  });
}

// A task group cancelled around the call does not end the fill half way: the model is
// refined in full, as on its own.
TEST(ParallelRefine, ACancelledCallerGroupDoesNotCutTheRefinementShort) {
  const ConstantMetric<3> metric{0.02};
  auto alone = fixtures::brep(fixtures::icosphere_soup(3));
  refine(alone, metric);
  auto model = fixtures::brep(fixtures::icosphere_soup(3));
  tbb::task_group group;
  group.run([&] {
    group.cancel();
    refine(model, metric);
  });
  group.wait();
  EXPECT_EQ(fixtures::fingerprint(model), fixtures::fingerprint(alone));
}

// Both orders keep every guarantee: valid and conforming (pinched vertices stay pinched:
// one mesh vertex per fan, tied to one model vertex), the size bound, half the smallest
// input angle, the areas.
TEST(Refine, BothOrdersKeepEveryGuarantee) {
  for_each_fixture([](const auto& named) {
    using Model = std::decay_t<decltype(named.make())>;
    constexpr index_t D = ModelKind<Model>::dimension;
    for (const SplitOrder order : orders) {
      SCOPED_TRACE(order_name(order));
      auto model = named.make();
      expect_valid(model);
      const index_t pinched = fixtures::nb_pinched_vertices(model);
      const bool meant_pinched = named.name == "bowtie" || named.name == "two cones" ||
                                 named.name == "icosphere sectors" ||
                                 named.name == "checkerboard";
      EXPECT_EQ(pinched > 0, meant_pinched);
      const auto areas = fixtures::surface_areas(model);
      const double input_angle = fixtures::smallest_angle(model);
      const GradedMetric<D> metric{named.size, 1.0};
      RefineOptions options;
      options.order = order;
      refine(model, metric, options);
      expect_valid(model);
      EXPECT_EQ(fixtures::nb_pinched_vertices(model), pinched);
      for (const auto& [id, area] : fixtures::surface_areas(model)) {
        EXPECT_NEAR(area, areas.at(id), 1e-9 * std::max(1.0, area));
      }
      EXPECT_TRUE(fixtures::size_bound_violations(model, metric).empty());
      EXPECT_GE(fixtures::smallest_angle(model), input_angle / 2 - 1e-9);
    }
  });
}

TEST(Refine, SurfacesNotTriangulatedAreLeftAsTheyAre) {
  auto model = fixtures::cube_with_odd_surfaces();
  const auto before = fixtures::fingerprint(model);
  const ConstantMetric<3> metric{0.1};
  const auto report = refine(model, metric);
  EXPECT_EQ(report.triangles_before, 12u + 1u);
  EXPECT_GT(report.triangles_after, 12u * 16);
  EXPECT_TRUE(fixtures::size_bound_violations(model, metric).empty());
  const auto polygonal = [](const BRep& brep) {
    for (const auto& surface : brep.surfaces()) {
      if (surface.get_mesh().nb_polygons() == 1) return &surface.get_mesh();
    }
    return static_cast<const karvel::SurfaceMesh<3>*>(nullptr);
  };
  ASSERT_NE(polygonal(model), nullptr);
  EXPECT_EQ(polygonal(model)->polygon_vertex({0, 2}), 3u);
  EXPECT_NE(before, fixtures::fingerprint(model));
}

// Progress comes from the calling thread, once the candidates are found and at the end; a
// stop there makes no split and leaves a valid model that a second refine() finishes.
TEST(Refine, ProgressFollowsAndAStopLeavesAValidModel) {
  auto model = fixtures::brep(fixtures::icosphere_soup(3));
  const auto areas = fixtures::surface_areas(model);
  const auto before = fixtures::fingerprint(model);
  const ConstantMetric<3> metric{0.005};
  std::vector<RefineProgress> calls;
  RefineOptions options;
  options.progress = [&calls](const RefineProgress& progress) {
    calls.push_back(progress);
    return false;
  };
  const auto stopped = refine(model, metric, options);
  EXPECT_TRUE(stopped.stopped);
  ASSERT_EQ(calls.size(), 2u);  // the stop, then the end
  EXPECT_GT(calls[0].queued, 0u);
  EXPECT_EQ(calls[0].splits, 0u);
  EXPECT_EQ(calls[1].queued, 0u);
  EXPECT_EQ(stopped.splits, 0u);
  EXPECT_EQ(calls[1].triangles, stopped.triangles_after);
  EXPECT_EQ(before, fixtures::fingerprint(model));

  calls.clear();
  options.progress = [&calls](const RefineProgress& progress) {
    calls.push_back(progress);
    return true;
  };
  const auto finished = refine(model, metric, options);
  EXPECT_FALSE(finished.stopped);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front().splits, 0u);
  EXPECT_EQ(calls.back().splits, finished.splits);
  EXPECT_EQ(calls.back().queued, 0u);
  expect_valid(model);
  EXPECT_TRUE(fixtures::size_bound_violations(model, metric).empty());
  for (const auto& [id, area] : fixtures::surface_areas(model)) {
    EXPECT_NEAR(area, areas.at(id), 1e-9);
  }
}

// Whether `point` lies on triangle (a, b, c): in its plane and inside it.
template <index_t D>
bool lies_on(const karvel::Point<D>& point, const karvel::Triangle<D>& triangle) {
  const auto& vertices = triangle.vertices();
  std::array<double, 3> ab{}, ac{}, ap{};
  for (index_t axis = 0; axis < D; ++axis) {
    const double a = vertices[0].get().value(axis);
    ab[axis] = vertices[1].get().value(axis) - a;
    ac[axis] = vertices[2].get().value(axis) - a;
    ap[axis] = point.value(axis) - a;
  }
  const auto dot = [](const std::array<double, 3>& u, const std::array<double, 3>& v) {
    return u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
  };
  // Barycentric coordinates by least squares, then the distance to the plane.
  const double uu = dot(ab, ab), uv = dot(ab, ac), vv = dot(ac, ac);
  const double pu = dot(ap, ab), pv = dot(ap, ac);
  const double det = uu * vv - uv * uv;
  const double s = (vv * pu - uv * pv) / det;
  const double t = (uu * pv - uv * pu) / det;
  constexpr double eps = 1e-9;
  std::array<double, 3> off{};
  for (int axis = 0; axis < 3; ++axis) off[axis] = ap[axis] - s * ab[axis] - t * ac[axis];
  return s >= -eps && t >= -eps && s + t <= 1 + eps && dot(off, off) <= eps * eps;
}

// Each output triangle lies in its origin, and the triangles of an origin cover it.
TEST(Refine, OriginsNameTheInputTriangleEachOutputTriangleLiesIn) {
  for_each_fixture([](const auto& named) {
    using Model = std::decay_t<decltype(named.make())>;
    constexpr index_t D = ModelKind<Model>::dimension;
    const auto input = named.make();
    for (const SplitOrder order : orders) {
      SCOPED_TRACE(order_name(order));
      auto model = named.make();
      RefineOptions options;
      options.record_origins = true;
      options.order = order;
      const auto report = refine(model, GradedMetric<D>{named.size, 0.5}, options);
      // The two models were built alike: their surfaces come in the same order.
      auto input_surface = input.surfaces().begin();
      for (const auto& surface : model.surfaces()) {
        const auto& before = dynamic_cast<const karvel::TriangulatedSurface<D>&>(
            (*input_surface).get_mesh());
        ++input_surface;
        const auto& after =
            dynamic_cast<const karvel::TriangulatedSurface<D>&>(surface.get_mesh());
        const auto& origins = report.origins.at(surface.id());
        ASSERT_EQ(origins.size(), after.nb_polygons());
        std::vector<double> covered(before.nb_polygons(), 0.0);
        for (index_t t = 0; t < after.nb_polygons(); ++t) {
          ASSERT_LT(origins[t], before.nb_polygons());
          const auto origin = before.triangle(origins[t]);
          for (const index_t v : after.triangle_vertices(t)) {
            EXPECT_TRUE(lies_on<D>(after.point(v), origin))
                << "triangle " << t << " from " << origins[t];
          }
          covered[origins[t]] += karvel::triangle_area(after.triangle(t));
        }
        for (index_t t = 0; t < before.nb_polygons(); ++t) {
          const double area = karvel::triangle_area(before.triangle(t));
          EXPECT_NEAR(covered[t], area, 1e-12 + 1e-9 * area) << "input triangle " << t;
        }
      }
    }
  });
}

}  // namespace
}  // namespace vemra
