#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <karvel/basic/exception.h>

#include <vemra/remeshing/detail/splitter_impl.h>

#include "fixtures.h"
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

}  // namespace

template <>
struct SplitterAccess<ScriptedSplitter> {
  static ScriptedModifier& modifier(ScriptedSplitter& splitter) {
    return splitter.modifier_;
  }
  static void push(ScriptedSplitter& splitter,
                   const ScriptedSplitter::TriangleToSplit& c) {
    splitter.add_to_queue(c);
  }
  static std::size_t queued(const ScriptedSplitter& splitter) {
    return splitter.queue_.size();
  }
};

namespace {

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
  Access::push(splitter, {uuid{}, PolygonEdge{0, 0}, 10.0, point});
  Access::push(splitter, {(*model.surfaces().begin()).id(), PolygonEdge{0, 0}, 5.0, point});
  EXPECT_THROW(splitter.split(), karvel::KarvelException);
  EXPECT_EQ(Access::queued(splitter), 1u);
  EXPECT_TRUE(Access::modifier(splitter).calls.empty());
}

}  // namespace
}  // namespace vemra::detail
