#include <karvel/basic/exception.h>
#include <karvel/geometry/point.h>

namespace karvel {

template <index_t D>
Point<D> Point<D>::operator/(double divisor) const {
  if (!(std::fabs(divisor) > 1e-30)) {
    throw KarvelException{
        "[Point::operator/] Cannot divide Point by something close to zero"};
  }
  Point result{*this};
  for (auto& value : result.values_) value /= divisor;
  return result;
}

template class Point<2>;
template class Point<3>;

}  // namespace karvel
