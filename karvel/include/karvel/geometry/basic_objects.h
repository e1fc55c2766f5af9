#pragma once

#include <array>
#include <functional>

#include <karvel/geometry/point.h>

namespace karvel {

// Geometric elements hold ordered references to points that live elsewhere (a mesh, the
// caller's variables): they must not outlive those points.
template <index_t D, index_t N>
class PointReferences {
 public:
  using Vertices = std::array<std::reference_wrapper<const Point<D>>, N>;

  const Vertices& vertices() const { return vertices_; }

 protected:
  explicit PointReferences(const Vertices& vertices) : vertices_{vertices} {}

 private:
  Vertices vertices_;
};

template <index_t D>
class Segment : public PointReferences<D, 2> {
 public:
  Segment(const Point<D>& p0, const Point<D>& p1)
      : PointReferences<D, 2>{{std::cref(p0), std::cref(p1)}} {}
  double length() const;
  Point<D> barycenter() const;
};

template <index_t D>
class Triangle : public PointReferences<D, 3> {
 public:
  Triangle(const Point<D>& p0, const Point<D>& p1, const Point<D>& p2)
      : PointReferences<D, 3>{{std::cref(p0), std::cref(p1), std::cref(p2)}} {}
};

class Tetra : public PointReferences<3, 4> {
 public:
  Tetra(const Point<3>& p0, const Point<3>& p1, const Point<3>& p2, const Point<3>& p3)
      : PointReferences<3, 4>{
            {std::cref(p0), std::cref(p1), std::cref(p2), std::cref(p3)}} {}
};

template <index_t D>
double point_point_squared_distance(const Point<D>& a, const Point<D>& b) {
  double sum = 0.0;
  for (index_t i = 0; i < D; ++i) {
    const double delta = a.value(i) - b.value(i);
    sum += delta * delta;
  }
  return sum;
}

template <index_t D>
double point_point_distance(const Point<D>& a, const Point<D>& b) {
  return std::sqrt(point_point_squared_distance<D>(a, b));
}

// Each coordinate is the sum halved, so a point made from the same two ends is the same
// wherever it is made.
template <index_t D>
Point<D> midpoint(const Point<D>& a, const Point<D>& b) {
  return (a + b) * 0.5;
}

template <index_t D>
double Segment<D>::length() const {
  return point_point_distance<D>(this->vertices()[0], this->vertices()[1]);
}

template <index_t D>
Point<D> Segment<D>::barycenter() const {
  return midpoint<D>(this->vertices()[0], this->vertices()[1]);
}

}  // namespace karvel
