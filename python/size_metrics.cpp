#include "size_metrics.h"

#include <cmath>
#include <sstream>
#include <string>

#include "size_fields.h"
#include "soup.h"

namespace vemra::python {
namespace {

std::string point_text(const double* point, std::size_t dimension) {
  std::ostringstream text;
  text.precision(17);
  text << "(";
  for (std::size_t axis = 0; axis < dimension; ++axis) {
    text << (axis ? ", " : "") << point[axis];
  }
  text << ")";
  return text.str();
}

template <index_t D>
class GridSize : public Metric<D> {
 public:
  explicit GridSize(const SizeGrid& grid) : grid_{grid} {}
  double point_metric(const Point<D>& point) const override {
    return grid_.at(point.values().data());
  }

 private:
  const SizeGrid& grid_;
};

// Calls back into Python with the GIL taken, from whichever thread evaluates the size.
template <index_t D>
class CallableSize : public Metric<D> {
 public:
  explicit CallableSize(const py::handle& function) : function_{function} {}
  double point_metric(const Point<D>& point) const override {
    py::gil_scoped_acquire gil;
    py::tuple coordinates(D);
    for (index_t axis = 0; axis < D; ++axis) {
      coordinates[axis] = py::float_(point.value(axis));
    }
    const py::object size = function_(coordinates);
    try {
      // True is not a size, though Python would count it as 1.
      if (py::isinstance<py::bool_>(size)) throw py::cast_error{};
      return size.cast<double>();
    } catch (const py::cast_error&) {
      throw py::type_error("size: the callable returned " +
                           py::repr(size).cast<std::string>() + " at " +
                           point_text(point.values().data(), D) + ", not a number");
    }
  }

 private:
  py::handle function_;  // the caller keeps it alive
};

// The inner metric and the guard that checks it, as one.
template <index_t D>
class Checked : public Metric<D> {
 public:
  explicit Checked(std::unique_ptr<Metric<D>> inner)
      : inner_{std::move(inner)}, guard_{*inner_} {}
  double point_metric(const Point<D>& point) const override {
    return guard_.point_metric(point);
  }

 private:
  std::unique_ptr<Metric<D>> inner_;
  tool::GuardedSize<D> guard_;
};

}  // namespace

namespace {

// The grid's values as float64 in C order: real numbers only, converted once.
py::array_t<double, py::array::c_style> grid_values(const py::object& object) {
  const auto array = py::array::ensure(object);
  if (!array) {
    PyErr_Clear();
    throw py::value_error("SizeGrid: values must be an array of real numbers");
  }
  const char kind = array.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u') {
    throw py::value_error("SizeGrid: values must be real numbers, not dtype " +
                          py::str(array.dtype()).cast<std::string>());
  }
  auto values =
      py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(array);
  if (!values) throw py::error_already_set();
  return values;
}

}  // namespace

SizeGrid::SizeGrid(const std::vector<double>& origin, const std::vector<double>& spacing,
                   const py::object& values_object)
    : origin_{origin}, spacing_{spacing} {
  const auto values = grid_values(values_object);
  dimension_ = static_cast<std::size_t>(values.ndim());
  if (dimension_ != 2 && dimension_ != 3) {
    throw py::value_error("SizeGrid: values must have 2 or 3 axes, not " +
                          std::to_string(dimension_));
  }
  if (origin_.size() != dimension_ || spacing_.size() != dimension_) {
    throw py::value_error("SizeGrid: origin and spacing need " +
                          std::to_string(dimension_) + " numbers each, as values has " +
                          std::to_string(dimension_) + " axes");
  }
  for (std::size_t axis = 0; axis < dimension_; ++axis) {
    if (!std::isfinite(origin_[axis])) {
      throw py::value_error("SizeGrid: origin is not finite");
    }
    if (!(spacing_[axis] > 0) || !std::isfinite(spacing_[axis])) {
      throw py::value_error("SizeGrid: spacing must be positive and finite");
    }
    counts_[axis] = static_cast<std::size_t>(values.shape(axis));
    if (counts_[axis] == 0) throw py::value_error("SizeGrid: values is empty");
  }
  values_.assign(values.data(), values.data() + values.size());
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (!(values_[i] > 0) || !std::isfinite(values_[i])) {
      std::string node;
      std::size_t rest = i;
      for (std::size_t axis = dimension_; axis-- > 0;) {
        node = std::to_string(rest % counts_[axis]) + (node.empty() ? "" : ", ") + node;
        rest /= counts_[axis];
      }
      std::ostringstream value;
      value << values_[i];
      throw py::value_error("SizeGrid: values[" + node + "] = " + value.str() +
                            " is not a positive, finite size");
    }
  }
}

double SizeGrid::at(const double* point) const {
  // Along each axis: the cell and the weight of its upper node.
  std::array<std::size_t, 3> cell{0, 0, 0};
  std::array<double, 3> weight{0, 0, 0};
  for (std::size_t axis = 0; axis < dimension_; ++axis) {
    const double last = double(counts_[axis] - 1);
    double u = (point[axis] - origin_[axis]) / spacing_[axis];
    // A point on the grid's last node may land a rounding away from it.
    constexpr double slack = 1e-9;
    if (!(u >= -slack && u <= last + slack)) {
      throw py::value_error("SizeGrid: the point " + point_text(point, dimension_) +
                            " lies outside the grid");
    }
    u = std::clamp(u, 0.0, last);
    cell[axis] =
        std::min(static_cast<std::size_t>(u), counts_[axis] > 1 ? counts_[axis] - 2 : 0);
    weight[axis] = counts_[axis] > 1 ? u - double(cell[axis]) : 0.0;
  }
  double size = 0;
  const std::size_t corners = std::size_t{1} << dimension_;
  for (std::size_t corner = 0; corner < corners; ++corner) {
    double w = 1;
    std::size_t index = 0;
    for (std::size_t axis = 0; axis < dimension_; ++axis) {
      const bool upper = (corner >> axis) & 1;
      if (upper && counts_[axis] == 1) {
        w = 0;
        break;
      }
      w *= upper ? weight[axis] : 1 - weight[axis];
      index = index * counts_[axis] + cell[axis] + (upper ? 1 : 0);
    }
    if (w != 0) size += w * values_[index];
  }
  return size;
}

template <index_t D>
std::unique_ptr<Metric<D>> make_metric(const py::handle& size) {
  std::unique_ptr<Metric<D>> inner;
  if (py::isinstance<py::str>(size)) {
    try {
      inner = std::make_unique<tool::ExpressionSize<D>>(size.cast<std::string>());
    } catch (const tool::InputError& error) {
      throw py::value_error(std::string{"size: "} + error.what());
    }
  } else if (py::isinstance<SizeGrid>(size)) {
    const auto& grid = size.cast<const SizeGrid&>();
    if (grid.dimension() != D) {
      throw py::value_error("size: a SizeGrid of " + std::to_string(grid.dimension()) +
                            " axes for a model in " + std::to_string(D) + " dimensions");
    }
    inner = std::make_unique<GridSize<D>>(grid);
  } else if (PyCallable_Check(size.ptr())) {
    inner = std::make_unique<CallableSize<D>>(size);
  } else if (py::isinstance<py::bool_>(size) || py::isinstance<py::array>(size) ||
             !PyNumber_Check(size.ptr())) {
    throw py::type_error(
        "size: expected a number, an expression, a callable or a "
        "SizeGrid, not " +
        py::repr(py::type::of(size)).cast<std::string>());
  } else {
    const double value = py::float_(py::reinterpret_borrow<py::object>(size));
    if (!(value > 0) || !std::isfinite(value)) {
      std::ostringstream text;
      text << value;
      throw py::value_error("size: must be a positive, finite number, not " + text.str());
    }
    inner = std::make_unique<tool::UniformSize<D>>(value);
  }
  return std::make_unique<Checked<D>>(std::move(inner));
}

bool calls_python(const py::handle& size) {
  return !py::isinstance<py::str>(size) && !py::isinstance<SizeGrid>(size) &&
         PyCallable_Check(size.ptr());
}

template std::unique_ptr<Metric<2>> make_metric<2>(const py::handle&);
template std::unique_ptr<Metric<3>> make_metric<3>(const py::handle&);

}  // namespace vemra::python
