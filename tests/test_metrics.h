#pragma once

// Size fields shared by the tests.

#include <cmath>

#include <vemra/remeshing/metric.h>

namespace fixtures {

template <karvel::index_t D>
class ConstantMetric : public vemra::Metric<D> {
 public:
  explicit ConstantMetric(double size) : size_{size} {}
  double point_metric(const karvel::Point<D>& /*point*/) const override { return size_; }

 private:
  double size_;
};

// Grows linearly away from the plane x = 0.
template <karvel::index_t D>
class GradedMetric : public vemra::Metric<D> {
 public:
  GradedMetric(double size, double slope) : size_{size}, slope_{slope} {}
  double point_metric(const karvel::Point<D>& point) const override {
    return size_ + slope_ * std::fabs(point.value(0));
  }

 private:
  double size_;
  double slope_;
};

}  // namespace fixtures
