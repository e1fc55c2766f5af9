#include "size_fields.h"

#include <atomic>
#include <cmath>
#include <unordered_map>

#include <muParser.h>

#include "soup.h"

namespace vemra::tool {
namespace {

// One parser with its own variables. Never copied: the parser holds their addresses.
struct Evaluator {
  explicit Evaluator(const std::string& expression) {
    parser.DefineVar("x", &x);
    parser.DefineVar("y", &y);
    parser.DefineVar("z", &z);
    parser.SetExpr(expression);
  }
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  double x{0}, y{0}, z{0};
  mu::Parser parser;
};

std::atomic<std::uint64_t> next_instance{0};

}  // namespace

template <index_t D>
UniformSize<D>::UniformSize(double size) : size_{size} {}

template <index_t D>
double UniformSize<D>::point_metric(const Point<D>& /*point*/) const {
  return size_;
}

template <index_t D>
ExpressionSize<D>::ExpressionSize(const std::string& expression)
    : expression_{expression}, instance_{next_instance.fetch_add(1)} {
  try {
    Evaluator evaluator{expression};
    evaluator.parser.Eval();  // reports unknown variables and syntax errors now
  } catch (const mu::Parser::exception_type& error) {
    throw InputError{error.GetMsg() + " in \"" + expression + "\""};
  }
}

template <index_t D>
double ExpressionSize<D>::point_metric(const Point<D>& point) const {
  // Per thread, per metric: keyed by an instance number, never by an address that a
  // later metric could reuse.
  thread_local std::unordered_map<std::uint64_t, std::unique_ptr<Evaluator>> evaluators;
  auto& evaluator = evaluators[instance_];
  if (!evaluator) evaluator = std::make_unique<Evaluator>(expression_);
  evaluator->x = point.value(0);
  evaluator->y = point.value(1);
  evaluator->z = D == 3 ? point.value(D - 1) : 0.0;
  try {
    return evaluator->parser.Eval();
  } catch (const mu::Parser::exception_type& error) {
    throw InputError{"size expression: " + error.GetMsg() + " at (" +
                     number_text(point.value(0)) + ", " + number_text(point.value(1)) +
                     ", " + number_text(evaluator->z) + ")"};
  }
}

template <index_t D>
double GuardedSize<D>::point_metric(const Point<D>& point) const {
  const double size = inner_.point_metric(point);
  if (std::isfinite(size) && size > 0) return size;
  std::string where = number_text(point.value(0));
  for (index_t axis = 1; axis < D; ++axis) where += ", " + number_text(point.value(axis));
  throw InputError{"size field: the size at (" + where + ") is " + number_text(size) +
                   "; a size must be a positive, finite number"};
}

template class UniformSize<2>;
template class UniformSize<3>;
template class ExpressionSize<2>;
template class ExpressionSize<3>;
template class GuardedSize<2>;
template class GuardedSize<3>;

}  // namespace vemra::tool
