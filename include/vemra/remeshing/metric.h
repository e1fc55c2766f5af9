#pragma once

#include <karvel/geometry/basic_objects.h>

namespace vemra {

using karvel::index_t;
using karvel::Point;
using karvel::Segment;
using karvel::Tetra;
using karvel::Triangle;

// The caller's size field: derive from Metric<D> and override point_metric(), which
// returns the target edge length at a point. It must be safe to call from several threads
// at once: the refinement evaluates it in parallel.
template <index_t D>
class MetricBase {
 public:
  virtual ~MetricBase();

  virtual double point_metric(const Point<D>& point) const = 0;

  // Means of point_metric over the element's vertices, in vertex order. Values are not
  // checked: NaN or negative sizes enter the mean as they are.
  double segment_metric(const Segment<D>& segment) const;
  double triangle_metric(const Triangle<D>& triangle) const;

  MetricBase() = default;
  MetricBase(const MetricBase&) = default;
  MetricBase& operator=(const MetricBase&) = default;
};

template <index_t D>
class Metric : public MetricBase<D> {
 public:
  Metric() = default;
  Metric(const Metric&) = default;
  Metric(Metric&&) = default;
  Metric& operator=(const Metric&) = default;
  Metric& operator=(Metric&&) = default;
  ~Metric() override;
};

template <>
class Metric<3> : public MetricBase<3> {
 public:
  Metric() = default;
  Metric(const Metric&) = default;
  Metric& operator=(const Metric&) = default;
  Metric& operator=(Metric&&) = default;
  ~Metric() override;

  double tetra_metric(const Tetra& tetra) const;
};

extern template class MetricBase<2>;
extern template class MetricBase<3>;
extern template class Metric<2>;

}  // namespace vemra
