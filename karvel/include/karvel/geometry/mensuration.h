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

// Where `point` lies along `segment`: the parameter t of its projection (0 at the first
// vertex, 1 at the second) and its distance to the segment's line. Both are NaN for a
// segment of zero length.
struct SegmentProjection {
  double parameter;
  double distance;
};
template <index_t D>
SegmentProjection project_on_segment(const Point<D>& point, const Segment<D>& segment);

// True when `point` lies inside the segment, away from both ends, within a tolerance
// relative to the segment's length.
template <index_t D>
bool point_strictly_inside_segment(const Point<D>& point, const Segment<D>& segment,
                                   double relative_tolerance = 1e-9);

}  // namespace karvel
