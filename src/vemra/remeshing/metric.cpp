#include <vemra/remeshing/metric.h>

namespace vemra {
namespace {

template <index_t D, typename Element>
double mean_over_vertices(const MetricBase<D>& metric, const Element& element) {
  double sum = 0.0;
  for (const auto& vertex : element.vertices()) sum += metric.point_metric(vertex.get());
  return sum / static_cast<double>(element.vertices().size());
}

}  // namespace

template <index_t D>
MetricBase<D>::~MetricBase() = default;

template <index_t D>
double MetricBase<D>::segment_metric(const Segment<D>& segment) const {
  return mean_over_vertices(*this, segment);
}

template <index_t D>
double MetricBase<D>::triangle_metric(const Triangle<D>& triangle) const {
  return mean_over_vertices(*this, triangle);
}

template <index_t D>
Metric<D>::~Metric() = default;

Metric<3>::~Metric() = default;

double Metric<3>::tetra_metric(const Tetra& tetra) const {
  return mean_over_vertices(*this, tetra);
}

template class MetricBase<2>;
template class MetricBase<3>;
template class Metric<2>;

}  // namespace vemra
