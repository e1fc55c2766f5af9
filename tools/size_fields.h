#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vemra/remeshing/metric.h>

namespace vemra::tool {

template <index_t D>
class UniformSize : public Metric<D> {
 public:
  // REQUIRES: `size` is finite and positive.
  explicit UniformSize(double size);
  double point_metric(const Point<D>& point) const override;

 private:
  double size_;
};

// A size given as an expression in x, y and z (muParser syntax, for example
// "0.02 + 0.1*sqrt(x^2+y^2)"). Each thread evaluates its own parser, so the parallel fill
// can call it from every worker. In 2-D, z is 0.
template <index_t D>
class ExpressionSize : public Metric<D> {
 public:
  // Throws InputError, naming the position (and no option: the caller knows what gave
  // the expression), when the expression does not parse or uses a variable other than x,
  // y and z.
  explicit ExpressionSize(const std::string& expression);
  double point_metric(const Point<D>& point) const override;

 private:
  std::string expression_;
  std::uint64_t instance_;
};

// Another size field, trusted nowhere: a size that is not a positive, finite number is an
// InputError naming the point, wherever it is evaluated.
template <index_t D>
class GuardedSize : public Metric<D> {
 public:
  explicit GuardedSize(const Metric<D>& inner) : inner_{inner} {}
  double point_metric(const Point<D>& point) const override;

 private:
  const Metric<D>& inner_;
};

}  // namespace vemra::tool
