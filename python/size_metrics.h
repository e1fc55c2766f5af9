#pragma once

// What `size` may be in Python, as a metric: a number, an expression in x, y and z, a
// callable of one point, or a SizeGrid. Every size is checked where it is evaluated.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <vemra/remeshing/metric.h>

namespace vemra::python {

namespace py = pybind11;
using karvel::index_t;

// Sizes at the nodes of a regular grid (values[i, j(, k)] at origin + (i, j, k) *
// spacing), interpolated linearly along each axis in between.
class SizeGrid {
 public:
  // Throws py::value_error for a spacing that is not positive and finite, values that are
  // not positive and finite (naming the node), or arguments of mismatched dimensions.
  SizeGrid(const std::vector<double>& origin, const std::vector<double>& spacing,
           const py::object& values);

  std::size_t dimension() const { return dimension_; }
  const std::vector<double>& origin() const { return origin_; }
  const std::vector<double>& spacing() const { return spacing_; }
  std::vector<std::size_t> shape() const {
    return {counts_.begin(), counts_.begin() + dimension_};
  }
  // The size at `point` (dimension() coordinates). Throws py::value_error naming the
  // point when it lies outside the grid.
  double at(const double* point) const;

 private:
  std::size_t dimension_{0};
  std::vector<double> origin_;
  std::vector<double> spacing_;
  std::array<std::size_t, 3> counts_{1, 1, 1};
  std::vector<double> values_;  // C order
};

// The metric for `size`, kept with what it refers to; `size` must outlive it (a callable
// is called with the GIL taken, from any thread). Sizes that are zero, negative or not
// finite where they are evaluated raise ValueError naming the point.
// Throws py::value_error for a number that is not a positive, finite size or an
// expression that does not parse, py::type_error for anything else.
template <index_t D>
std::unique_ptr<Metric<D>> make_metric(const py::handle& size);

// Whether `size` is a Python callable: its calls take the GIL one at a time.
bool calls_python(const py::handle& size);

}  // namespace vemra::python
