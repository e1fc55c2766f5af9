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

template double triangle_area(const Triangle<2>&);
template double triangle_area(const Triangle<3>&);
template double triangle_smallest_angle(const Triangle<2>&);
template double triangle_smallest_angle(const Triangle<3>&);

}  // namespace karvel
