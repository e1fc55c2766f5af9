#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>

#include <karvel/model/checker.h>
#include <vemra/remeshing/detail/splitter_impl.h>

#include "fixtures.h"
#include "splitter_access.h"
#include "test_metrics.h"

namespace vemra::detail {

namespace {

using karvel::BRep;
using karvel::Section;
using BRepSplitter = Splitter<BRep, hollent::BRepGeometricModifier, 3>;
using SectionSplitter = Splitter<Section, hollent::SectionGeometricModifier, 2>;

using ConstantMetric = fixtures::ConstantMetric<2>;

// One triangle in its own section, built from three points.
Section single_triangle(const Point<2>& a, const Point<2>& b, const Point<2>& c) {
  karvel::Section section;
  karvel::SectionBuilder builder{section};
  const auto id = builder.add_surface();
  auto mesh = builder.triangulated_surface_builder(id);
  for (const auto& p : {a, b, c}) mesh.create_point(p);
  mesh.create_triangle({0, 1, 2});
  return section;
}

const karvel::TriangulatedSurface<2>& only_mesh(const Section& section) {
  return dynamic_cast<const karvel::TriangulatedSurface<2>&>(
      (*section.surfaces().begin()).get_mesh());
}

TEST(TriangleToSplit, LongestEdgeLowestIndexOnTiesAndMidpoint) {
  // Edges 0, 1, 2 of lengths 3, 5, 5.
  const auto section =
      single_triangle(Point<2>{{0, 0}}, Point<2>{{3, 0}}, Point<2>{{0, 4}});
  const SectionSplitter::TriangleToSplit candidate{uuid{}, only_mesh(section), 0};
  EXPECT_EQ(candidate.edge, (PolygonEdge{0, 1}));
  EXPECT_DOUBLE_EQ(candidate.length, 5.0);
  EXPECT_EQ(candidate.point, (Point<2>{{1.5, 2.0}}));

  const auto collapsed =
      single_triangle(Point<2>{{1, 1}}, Point<2>{{1, 1}}, Point<2>{{1, 1}});
  const SectionSplitter::TriangleToSplit none{uuid{}, only_mesh(collapsed), 0};
  EXPECT_EQ(none.edge, PolygonEdge{});
  EXPECT_EQ(none.length, 0.0);
  EXPECT_EQ(none.point, (Point<2>{{0, 0}}));
}

TEST(AddToQueue, StrictTestAgainstTwiceTheSize) {
  auto section = single_triangle(Point<2>{{0, 0}}, Point<2>{{3, 0}}, Point<2>{{0, 4}});
  struct Case {
    const char* name;
    double size;
    bool queued;
  };
  for (const auto& c :
       {Case{"exactly twice", 2.5, false}, Case{"just above", 2.4999999, true},
        Case{"far below", 10.0, false}, Case{"not a number", NAN, false}}) {
    SCOPED_TRACE(c.name);
    const ConstantMetric metric{c.size};
    SectionSplitter splitter{section, metric};
    SplitterAccess<SectionSplitter>::add(
        splitter, SectionSplitter::TriangleToSplit{uuid{}, only_mesh(section), 0});
    EXPECT_EQ(SplitterAccess<SectionSplitter>::drain(splitter).size(),
              c.queued ? 1u : 0u);
  }
}

TEST(AddToQueue, NonPositiveSizeThatWouldAcceptIsAnError) {
  auto section = single_triangle(Point<2>{{0, 0}}, Point<2>{{3, 0}}, Point<2>{{0, 4}});
  for (const double size : {0.0, -1.0}) {
    SCOPED_TRACE(size);
    const ConstantMetric metric{size};
    SectionSplitter splitter{section, metric};
    try {
      SplitterAccess<SectionSplitter>::add(
          splitter, SectionSplitter::TriangleToSplit{uuid{}, only_mesh(section), 0});
      FAIL() << "no exception";
    } catch (const std::domain_error& error) {
      EXPECT_NE(std::string{error.what()}.find("(1.5 2)"), std::string::npos)
          << error.what();
    }
    // The whole refinement reports it too, instead of running forever.
    EXPECT_THROW(splitter.split(), std::domain_error);
  }
  // A collapsed triangle under a zero size is simply not a candidate.
  auto collapsed = single_triangle(Point<2>{{1, 1}}, Point<2>{{1, 1}}, Point<2>{{1, 1}});
  const ConstantMetric zero{0.0};
  SectionSplitter splitter{collapsed, zero};
  SplitterAccess<SectionSplitter>::add(
      splitter, SectionSplitter::TriangleToSplit{uuid{}, only_mesh(collapsed), 0});
  EXPECT_TRUE(SplitterAccess<SectionSplitter>::drain(splitter).empty());
}

// Records with chosen lengths: tag in the point's x, length as given.
SectionSplitter::TriangleToSplit record(const Section& section, double length,
                                        double tag) {
  SectionSplitter::TriangleToSplit r{uuid{}, only_mesh(section), 0};
  r.length = length;
  r.point = Point<2>{{tag, 0}};
  return r;
}

TEST(SplitQueue, TieRulesOfPushAndPop) {
  auto section = single_triangle(Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{0, 1}});
  const ConstantMetric metric{1e-3};
  struct Case {
    std::vector<std::pair<double, double>> pushes;  // (length, tag) in push order
    std::vector<double> popped_tags;
  };
  for (const auto& c :
       {Case{{{7, 1}, {7, 2}}, {1, 2}}, Case{{{10, 0}, {7, 1}, {7, 2}}, {0, 1, 2}},
        Case{{{10, 0}, {7, 1}, {7, 2}, {5, 3}}, {0, 2, 1, 3}}}) {
    SCOPED_TRACE(c.pushes.size());
    SectionSplitter splitter{section, metric};
    for (const auto& [length, tag] : c.pushes) {
      SplitterAccess<SectionSplitter>::add(splitter, record(section, length, tag));
    }
    std::vector<double> tags;
    for (const auto& r : SplitterAccess<SectionSplitter>::drain(splitter)) {
      tags.push_back(r.point.value(0));
    }
    EXPECT_EQ(tags, c.popped_tags);
  }
}

TEST(ParallelSplitQueue, ManyThreadsPushingLoseNothing) {
  auto section = single_triangle(Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{0, 1}});
  const ConstantMetric metric{1e-3};
  SectionSplitter splitter{section, metric};
  constexpr int count = 20000;
  tbb::parallel_for(0, count, [&](int i) {
    SplitterAccess<SectionSplitter>::add(splitter, record(section, 1.0 + i % 97, i));
  });
  const auto records = SplitterAccess<SectionSplitter>::drain(splitter);
  ASSERT_EQ(records.size(), std::size_t{count});
  EXPECT_TRUE(
      std::is_sorted(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.length > b.length; }));
}

// Sizes by position; throws, naming the point, at one chosen point or everywhere.
class ThrowingMetric : public Metric<3> {
 public:
  double point_metric(const Point<3>& point) const override {
    if (everywhere || point == bad_point) throw std::runtime_error{failure_at(point)};
    return size;
  }
  static std::string failure_at(const Point<3>& point) {
    std::ostringstream message;
    message << "metric failure at " << point;
    return message.str();
  }
  Point<3> bad_point{{-1, -1, -1}};
  bool everywhere{false};
  double size{0.1};
};

std::multiset<std::pair<double, std::string>> fill_multiset(BRep& model,
                                                            const Metric<3>& metric) {
  BRepSplitter splitter{model, metric};
  SplitterAccess<BRepSplitter>::fill(splitter);
  std::multiset<std::pair<double, std::string>> result;
  for (const auto& r : SplitterAccess<BRepSplitter>::drain(splitter)) {
    result.emplace(r.length,
                   r.surface_id.string() + "/" + std::to_string(r.edge.polygon_id));
  }
  return result;
}

TEST(ParallelFill, SurfacesEmptyAndNotTriangulatedAreSkipped) {
  ThrowingMetric metric;
  BRep empty;
  EXPECT_TRUE(fill_multiset(empty, metric).empty());
  auto model = fixtures::cube_with_odd_surfaces();
  EXPECT_EQ(fill_multiset(model, metric).size(), 12u);
}

// A failure in the fill reaches the caller, on any number of threads; of several, the
// one of the first surface in the model's order.
TEST(ParallelFill, AFailureEndsTheFillAndReachesTheCaller) {
  auto model = fixtures::cube_with_odd_surfaces();
  const auto& first = *model.surfaces().begin();
  const auto& first_mesh = dynamic_cast<const TriangulatedSurface<3>&>(first.get_mesh());
  const Point<3> first_point =
      BRepSplitter::TriangleToSplit{first.id(), first_mesh, 0}.point;
  struct Case {
    const char* name;
    Point<3> bad_point;
    bool everywhere;
    Point<3> reported;
  };
  const Point<3> top_face_centre{{0.5, 0.5, 1}};
  for (const auto& c : {Case{"one face", top_face_centre, false, top_face_centre},
                        Case{"every face", Point<3>{}, true, first_point}}) {
    for (const int threads : {1, 2, 4}) {
      SCOPED_TRACE(std::string{c.name} + ", threads " + std::to_string(threads));
      tbb::global_control pool{tbb::global_control::max_allowed_parallelism,
                               std::size_t(threads)};
      ThrowingMetric metric;
      metric.bad_point = c.bad_point;
      metric.everywhere = c.everywhere;
      BRepSplitter splitter{model, metric};
      try {
        splitter.split();
        ADD_FAILURE() << "split() returned normally";
      } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), ThrowingMetric::failure_at(c.reported));
      }
      EXPECT_TRUE(karvel::check_model(model).ok());
    }
  }
}

TEST(ParallelFill, PoolSizeDoesNotChangeTheCandidates) {
  auto model = fixtures::brep(fixtures::grid_soup<3>(40));
  ThrowingMetric metric;
  metric.size = 0.001;
  std::multiset<std::pair<double, std::string>> one, two;
  {
    tbb::global_control threads{tbb::global_control::max_allowed_parallelism, 1};
    one = fill_multiset(model, metric);
  }
  {
    tbb::global_control threads{tbb::global_control::max_allowed_parallelism, 2};
    two = fill_multiset(model, metric);
  }
  EXPECT_EQ(one.size(), 3200u);
  EXPECT_EQ(one, two);
}

}  // namespace
}  // namespace vemra::detail
