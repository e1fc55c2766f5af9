#pragma once

#include <karvel/geometry/basic_objects.h>

namespace karvel {

// Area of a triangle (non-negative), from the cross product in 3-D and the absolute
// determinant in 2-D.
template <index_t D>
double triangle_area(const Triangle<D>& triangle);

// Signed area of a 2-D triangle: positive when its vertices turn counter-clockwise.
double triangle_signed_area(const Triangle<2>& triangle);

// The triangle's smallest inner angle in degrees; 0 for a degenerate triangle.
template <index_t D>
double triangle_smallest_angle(const Triangle<D>& triangle);

// True when `point` lies inside the segment, away from both ends, within a tolerance
// relative to the segment's length: its projection's parameter is in (tol, 1 - tol) and
// its distance to the segment's line at most tol * length. False for a segment of zero
// length. Inline and without square roots: the modifier tests every split point with it.
template <index_t D>
bool point_strictly_inside_segment(const Point<D>& point, const Segment<D>& segment,
                                   double relative_tolerance = 1e-9) {
  const Point<D>& origin = segment.vertices()[0];
  const Point<D>& end = segment.vertices()[1];
  double squared_length = 0.0;
  double along = 0.0;
  for (index_t i = 0; i < D; ++i) {
    const double direction = end.value(i) - origin.value(i);
    squared_length += direction * direction;
    along += (point.value(i) - origin.value(i)) * direction;
  }
  if (!(squared_length > 0.0)) return false;
  const double parameter = along / squared_length;
  if (!(parameter > relative_tolerance && parameter < 1.0 - relative_tolerance))
    return false;
  double squared_distance = 0.0;
  for (index_t i = 0; i < D; ++i) {
    const double foot = origin.value(i) + (end.value(i) - origin.value(i)) * parameter;
    const double offset = point.value(i) - foot;
    squared_distance += offset * offset;
  }
  return squared_distance <= relative_tolerance * relative_tolerance * squared_length;
}

}  // namespace karvel
