#include <karvel/geometry/mensuration.h>

#include <algorithm>
#include <cmath>

namespace karvel {
namespace {

template <index_t D>
double dot(const Point<D>& a, const Point<D>& b) {
  double sum = 0.0;
  for (index_t i = 0; i < D; ++i) sum += a.value(i) * b.value(i);
  return sum;
}

double cross_norm(const Point<3>& a, const Point<3>& b) {
  const double x = a.value(1) * b.value(2) - a.value(2) * b.value(1);
  const double y = a.value(2) * b.value(0) - a.value(0) * b.value(2);
  const double z = a.value(0) * b.value(1) - a.value(1) * b.value(0);
  return std::sqrt(x * x + y * y + z * z);
}

double cross_norm(const Point<2>& a, const Point<2>& b) {
  return std::fabs(a.value(0) * b.value(1) - a.value(1) * b.value(0));
}

}  // namespace

template <index_t D>
double triangle_area(const Triangle<D>& triangle) {
  const auto& v = triangle.vertices();
  return 0.5 * cross_norm(v[1].get() - v[0].get(), v[2].get() - v[0].get());
}

double triangle_signed_area(const Triangle<2>& triangle) {
  const auto& v = triangle.vertices();
  const auto a = v[1].get() - v[0].get();
  const auto b = v[2].get() - v[0].get();
  return 0.5 * (a.value(0) * b.value(1) - a.value(1) * b.value(0));
}

template <index_t D>
double triangle_smallest_angle(const Triangle<D>& triangle) {
  const auto& v = triangle.vertices();
  double smallest = 180.0;
  for (index_t i = 0; i < 3; ++i) {
    const auto a = v[(i + 1) % 3].get() - v[i].get();
    const auto b = v[(i + 2) % 3].get() - v[i].get();
    const double norms = std::sqrt(dot(a, a) * dot(b, b));
    if (!(norms > 0.0)) return 0.0;
    const double angle = std::atan2(cross_norm(a, b), dot(a, b)) * 180.0 / M_PI;
    smallest = std::min(smallest, angle);
  }
  return smallest;
}

template <index_t D>
SegmentProjection project_on_segment(const Point<D>& point, const Segment<D>& segment) {
  const auto& origin = segment.vertices()[0].get();
  const auto direction = segment.vertices()[1].get() - origin;
  const double squared_length = dot(direction, direction);
  if (!(squared_length > 0.0)) return {NAN, NAN};
  const auto offset = point - origin;
  const double parameter = dot(offset, direction) / squared_length;
  const auto foot = origin + direction * parameter;
  return {parameter, point_point_distance<D>(point, foot)};
}

template <index_t D>
bool point_strictly_inside_segment(const Point<D>& point, const Segment<D>& segment,
                                   double relative_tolerance) {
  const auto projection = project_on_segment(point, segment);
  const double length = segment.length();
  return projection.parameter > relative_tolerance &&
         projection.parameter < 1.0 - relative_tolerance &&
         projection.distance <= relative_tolerance * length;
}

template double triangle_area(const Triangle<2>&);
template double triangle_area(const Triangle<3>&);
template double triangle_smallest_angle(const Triangle<2>&);
template double triangle_smallest_angle(const Triangle<3>&);
template SegmentProjection project_on_segment(const Point<2>&, const Segment<2>&);
template SegmentProjection project_on_segment(const Point<3>&, const Segment<3>&);
template bool point_strictly_inside_segment(const Point<2>&, const Segment<2>&, double);
template bool point_strictly_inside_segment(const Point<3>&, const Segment<3>&, double);

}  // namespace karvel
