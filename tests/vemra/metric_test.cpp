#include <cmath>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include <vemra/remeshing/metric.h>

namespace vemra {
namespace {

// A metric that answers from a table keyed by the point's first coordinate and records
// the order of its calls.
template <index_t D>
class RecordingMetric : public Metric<D> {
 public:
  double point_metric(const Point<D>& point) const override {
    calls.push_back(point.value(0));
    return values.at(static_cast<std::size_t>(point.value(0)));
  }
  std::vector<double> values;
  mutable std::vector<double> calls;
};

template <index_t D>
Point<D> point_at(double x) {
  std::array<double, D> values{};
  values[0] = x;
  return Point<D>{values};
}

TEST(Metric, MeansOverTetraTriangleAndSegment) {
  RecordingMetric<3> metric;
  metric.values = {1.0, 2.0, 3.0, 6.0};
  const auto p0 = point_at<3>(0), p1 = point_at<3>(1), p2 = point_at<3>(2),
             p3 = point_at<3>(3);
  EXPECT_DOUBLE_EQ(metric.tetra_metric({p0, p1, p2, p3}), 3.0);
  EXPECT_DOUBLE_EQ(metric.triangle_metric({p0, p1, p2}), 2.0);
  EXPECT_DOUBLE_EQ(metric.segment_metric({p0, p1}), 1.5);
  // Each vertex once, in the element's order.
  EXPECT_EQ(metric.calls, (std::vector<double>{0, 1, 2, 3, 0, 1, 2, 0, 1}));
}

TEST(Metric, RepeatedVertexIsEvaluatedTwiceAndNanPropagates) {
  RecordingMetric<2> metric;
  metric.values = {4.0, NAN};
  const auto p0 = point_at<2>(0), p1 = point_at<2>(1);
  EXPECT_DOUBLE_EQ(metric.segment_metric({p0, p0}), 4.0);
  EXPECT_EQ(metric.calls.size(), 2u);
  EXPECT_TRUE(std::isnan(metric.triangle_metric({p0, p1, p0})));
}

TEST(Metric, SpecialMembersFollowTheFamilyTable) {
  static_assert(std::is_abstract_v<MetricBase<2>> && std::is_abstract_v<Metric<3>>);
  static_assert(std::has_virtual_destructor_v<MetricBase<3>>);
  static_assert(std::is_copy_constructible_v<RecordingMetric<2>>);
  static_assert(std::is_copy_assignable_v<RecordingMetric<3>>);
  static_assert(std::is_base_of_v<MetricBase<2>, Metric<2>>);
  SUCCEED();
}

}  // namespace
}  // namespace vemra
