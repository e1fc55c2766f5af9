#pragma once

// Small vector arithmetic for the remesher, which works in 3-D coordinates for both
// models (a section's points have z = 0).

#include <array>
#include <cmath>

#include <karvel/geometry/point.h>

namespace vemra::remesher {

using karvel::index_t;
using Vec3 = std::array<double, 3>;

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Vec3 operator*(const Vec3& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
          a[0] * b[1] - a[1] * b[0]};
}
inline double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }
inline double distance(const Vec3& a, const Vec3& b) { return norm(a - b); }
inline Vec3 midpoint(const Vec3& a, const Vec3& b) {
  return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}
// Twice the area, along the normal of the triangle's orientation.
inline Vec3 normal(const Vec3& a, const Vec3& b, const Vec3& c) {
  return cross(b - a, c - a);
}
// The triangle's smallest angle, in radians (0 for a degenerate one).
inline double smallest_angle(const Vec3& a, const Vec3& b, const Vec3& c) {
  const std::array<Vec3, 3> p{a, b, c};
  double smallest = M_PI;
  for (int i = 0; i < 3; ++i) {
    const Vec3 u = p[(i + 1) % 3] - p[i];
    const Vec3 v = p[(i + 2) % 3] - p[i];
    const double nu = norm(u), nv = norm(v);
    if (nu == 0 || nv == 0) return 0;
    smallest = std::min(smallest, std::atan2(norm(cross(u, v)), dot(u, v)));
  }
  return smallest;
}

template <index_t D>
Vec3 to_vec3(const karvel::Point<D>& point) {
  Vec3 v{0, 0, 0};
  for (index_t axis = 0; axis < D; ++axis) v[axis] = point.value(axis);
  return v;
}
template <index_t D>
karvel::Point<D> to_point(const Vec3& v) {
  std::array<double, D> values{};
  for (index_t axis = 0; axis < D; ++axis) values[axis] = v[axis];
  return karvel::Point<D>{values};
}

}  // namespace vemra::remesher
