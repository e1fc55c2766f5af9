#pragma once

#include <array>
#include <cmath>
#include <ostream>

#include <karvel/basic/common.h>

namespace karvel {

// A point (or vector) of D coordinates.
template <index_t D>
class Point {
 public:
  Point() : values_{} {}
  explicit Point(const std::array<double, D>& values) : values_{values} {}

  double value(index_t axis) const { return values_[axis]; }
  void set_value(index_t axis, double value) { values_[axis] = value; }
  const std::array<double, D>& values() const { return values_; }

  bool is_finite() const {
    for (const double value : values_) {
      if (!std::isfinite(value)) return false;
    }
    return true;
  }

  Point operator+(const Point& other) const {
    Point result{*this};
    for (index_t i = 0; i < D; ++i) result.values_[i] += other.values_[i];
    return result;
  }
  Point operator-(const Point& other) const {
    Point result{*this};
    for (index_t i = 0; i < D; ++i) result.values_[i] -= other.values_[i];
    return result;
  }
  Point operator*(double factor) const {
    Point result{*this};
    for (auto& value : result.values_) value *= factor;
    return result;
  }
  // Throws KarvelException unless |divisor| > 1e-30.
  Point operator/(double divisor) const;

  friend bool operator==(const Point& a, const Point& b) {
    return a.values_ == b.values_;
  }
  friend bool operator!=(const Point& a, const Point& b) { return !(a == b); }
  friend std::ostream& operator<<(std::ostream& out, const Point& point) {
    out << "(";
    for (index_t i = 0; i < D; ++i) out << (i ? " " : "") << point.values_[i];
    return out << ")";
  }

 private:
  std::array<double, D> values_;
};

using Point2D = Point<2>;
using Point3D = Point<3>;

extern template class Point<2>;
extern template class Point<3>;

}  // namespace karvel
