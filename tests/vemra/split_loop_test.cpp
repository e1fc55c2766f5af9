#include <array>
#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <karvel/basic/exception.h>
#include <karvel/model/model_builder.h>

#include <vemra/remeshing/detail/splitter_impl.h>

#include "fixtures.h"
#include "splitter_access.h"
#include "test_metrics.h"

namespace vemra::detail {
namespace {

using karvel::BRep;

// A modifier that changes nothing and answers each split with a scripted result, to show
// what the loop does with results the real modifier never gives.
struct ScriptedModifier {
  explicit ScriptedModifier(BRep&) {}

  hollent::SplitPolygonEdgeInfo split_edge(const karvel::Surface<3>& surface,
                                           const PolygonEdge& edge, const Point<3>&) {
    calls.push_back("split " + surface.id().string() + " " +
                    std::to_string(edge.polygon_id));
    if (script.empty()) return {};
    auto next = std::move(script.front());
    script.erase(script.begin());
    return next;
  }
  void clean_edges_lines() { calls.push_back("clean lines"); }
  void clean_triangles_surfaces() { calls.push_back("clean surfaces"); }

  std::vector<hollent::SplitPolygonEdgeInfo> script;
  std::vector<std::string> calls;
};

using ScriptedSplitter = Splitter<BRep, ScriptedModifier, 3>;

TEST(SplitLoop, CleanUpsRunOnceInOrderEvenWithoutSplits) {
  for (const bool empty_model : {true, false}) {
    SCOPED_TRACE(empty_model);
    BRep model = empty_model ? BRep{} : fixtures::cube();
    const fixtures::ConstantMetric<3> metric{100};  // no triangle is too large
    ScriptedSplitter splitter{model, metric};
    splitter.split();
    EXPECT_EQ(SplitterAccess<ScriptedSplitter>::modifier(splitter).calls,
              (std::vector<std::string>{"clean lines", "clean surfaces"}));
  }
}

TEST(SplitLoop, PairsOfTheResultAreReexaminedByTheirFirstIndex) {
  auto model = fixtures::cube();
  std::vector<uuid> surfaces;
  for (const auto& surface : model.surfaces()) surfaces.push_back(surface.id());
  const fixtures::ConstantMetric<3> metric{0.01};  // every triangle is
  ScriptedSplitter splitter{model, metric};
  auto& modifier = SplitterAccess<ScriptedSplitter>::modifier(splitter);
  // First split: in another surface, pair (1, 1) is skipped, (0, 1) re-examines triangle
  // 0, once from the first side and once from the second.
  hollent::SplitPolygonEdgeInfo result;
  hollent::SurfaceEdgeSplit split;
  split.first.polygons = {{1, 1}, {0, 1}};
  split.second.polygons = {{0, 1}};
  result.surface_splits[surfaces[5]].push_back(split);
  modifier.script.push_back(result);
  splitter.split();
  // 12 triangles queued by the fill, then two more records of triangle 0 of surface 5.
  ASSERT_EQ(modifier.calls.size(), 14u + 2u);
  index_t of_surface_five = 0;
  for (std::size_t i = 0; i < 14; ++i) {
    if (modifier.calls[i] == "split " + surfaces[5].string() + " 0") ++of_surface_five;
  }
  EXPECT_EQ(of_surface_five, 3u);
  EXPECT_EQ(modifier.calls[14], "clean lines");
}

// A record of a surface the model does not have: the lookup fails, that record is lost,
// the others stay queued, and no clean-up runs.
TEST(SplitLoop, AFailedLookupLosesThePoppedRecordOnly) {
  auto model = fixtures::cube();
  const fixtures::ConstantMetric<3> metric{1.0};  // no triangle of the cube is too large
  ScriptedSplitter splitter{model, metric};
  using Access = SplitterAccess<ScriptedSplitter>;
  const Point<3> point{{0.5, 0.5, 0.5}};
  Access::add(splitter, {uuid{}, PolygonEdge{0, 0}, 10.0, point});
  Access::add(splitter,
              {(*model.surfaces().begin()).id(), PolygonEdge{0, 0}, 5.0, point});
  EXPECT_THROW(splitter.split(), karvel::KarvelException);
  EXPECT_EQ(Access::queued(splitter), 1u);
  EXPECT_TRUE(Access::modifier(splitter).calls.empty());
}

// Sizes of 0.01 for the first `calls_allowed` calls, then a failure.
class FailingLaterMetric : public Metric<3> {
 public:
  explicit FailingLaterMetric(int calls_allowed) : calls_left_{calls_allowed} {}
  double point_metric(const Point<3>&) const override {
    if (calls_left_-- <= 0) throw std::runtime_error{"metric failure"};
    return 0.01;
  }

 private:
  mutable std::atomic<int> calls_left_;
};

// The records that a failed split() leaves are the candidates as they were measured,
// whatever the caller does to the model before the next split().
TEST(SplitLoop, RecordsLeftByAFailureOutliveChangesToTheModel) {
  auto model = fixtures::cube();
  std::multiset<std::pair<double, std::array<double, 3>>> measured;
  std::vector<uuid> surfaces;
  for (const auto& surface : model.surfaces()) {
    surfaces.push_back(surface.id());
    const auto& mesh = dynamic_cast<const TriangulatedSurface<3>&>(surface.get_mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      const ScriptedSplitter::TriangleToSplit candidate{surface.id(), mesh, t};
      const auto& p = candidate.point;
      measured.insert({candidate.length, {p.value(0), p.value(1), p.value(2)}});
    }
  }
  const FailingLaterMetric metric{12};  // the fill's twelve calls, then a failure
  ScriptedSplitter splitter{model, metric};
  using Access = SplitterAccess<ScriptedSplitter>;
  hollent::SplitPolygonEdgeInfo result;
  hollent::SurfaceEdgeSplit split;
  split.first.polygons = {{0, 1}};
  result.surface_splits[surfaces[0]].push_back(split);
  Access::modifier(splitter).script.push_back(result);
  EXPECT_THROW(splitter.split(), std::runtime_error);

  karvel::BRepBuilder builder{model};
  for (const auto& id : surfaces) {
    auto mesh = builder.triangulated_surface_builder(id);
    const auto& points =
        dynamic_cast<const TriangulatedSurface<3>&>(model.surface(id).get_mesh());
    for (index_t v = 0; v < points.nb_vertices(); ++v) {
      auto moved = points.point(v);
      moved.set_value(0, moved.value(0) + 100.0);
      mesh.set_point(v, moved);
    }
  }
  const auto left = Access::drain(splitter);
  ASSERT_EQ(left.size(), 11u);  // the first record was popped, then the failure
  for (const auto& record : left) {
    const auto& p = record.point;
    const auto found =
        measured.find({record.length, {p.value(0), p.value(1), p.value(2)}});
    ASSERT_NE(found, measured.end()) << p;
    measured.erase(found);
  }
}

}  // namespace
}  // namespace vemra::detail
