#pragma once

// Small vector arithmetic for the remesher, which works in 3-D coordinates for both
// models (a section's points have z = 0).

#include <array>
#include <cmath>
#include <cstdint>

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
// One key for edge (a, b) and edge (b, a).
inline std::uint64_t edge_key(index_t a, index_t b) {
  return a < b ? (std::uint64_t{a} << 32 | b) : (std::uint64_t{b} << 32 | a);
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
// The triangle's smallest angle, in radians (0 for a degenerate one): the one opposite
// its shortest edge.
inline double smallest_angle(const Vec3& a, const Vec3& b, const Vec3& c) {
  const std::array<Vec3, 3> p{a, b, c};
  int corner = 0;
  double shortest = -1;
  for (int i = 0; i < 3; ++i) {
    const Vec3 opposite = p[(i + 2) % 3] - p[(i + 1) % 3];
    const double length = dot(opposite, opposite);
    if (shortest < 0 || length < shortest) {
      shortest = length;
      corner = i;
    }
  }
  const Vec3 u = p[(corner + 1) % 3] - p[corner];
  const Vec3 v = p[(corner + 2) % 3] - p[corner];
  if (dot(u, u) == 0 || dot(v, v) == 0) return 0;
  return std::atan2(norm(cross(u, v)), dot(u, v));
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
