#include "input_arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>

#include "soup_check.h"

namespace vemra::python {
namespace {

std::string shape_text(const py::array& array) {
  std::string text = "(";
  for (py::ssize_t axis = 0; axis < array.ndim(); ++axis) {
    if (axis > 0) text += ", ";
    text += std::to_string(array.shape(axis));
  }
  return text + (array.ndim() == 1 ? ",)" : ")");
}

std::string dtype_text(const py::array& array) {
  return py::str(array.dtype()).cast<std::string>();
}

// The argument as an array whose elements are of one of `kinds` ('f' floating, 'i' and
// 'u' integers), with `ndim` axes and, for a second axis, `width` columns.
py::array checked_array(const py::handle& object, const char* name, const char* kinds,
                        const char* expected, py::ssize_t ndim, py::ssize_t width) {
  const auto array = py::array::ensure(object);
  if (!array) {
    PyErr_Clear();
    throw py::value_error(std::string{name} + ": expected an array of " + expected);
  }
  if (std::string{kinds}.find(array.dtype().kind()) == std::string::npos) {
    throw py::value_error(std::string{name} + ": expected " + expected + ", not dtype " +
                          dtype_text(array));
  }
  if (array.ndim() != ndim || (ndim == 2 && array.shape(1) != width)) {
    const std::string wanted = ndim == 1 ? "(m,)"
                                         : "(" + std::string{ndim == 2 ? "n, " : ""} +
                                               std::to_string(width) + ")";
    throw py::value_error(std::string{name} + ": expected shape " + wanted + ", not " +
                          shape_text(array));
  }
  return array;
}

// Unsigned integers past int64's range would wrap on the way to int64.
void refuse_huge_unsigned(const py::array& array, const char* name) {
  if (array.dtype().kind() != 'u' || array.itemsize() < 8 || array.size() == 0) return;
  const auto values =
      py::array_t<std::uint64_t, py::array::c_style | py::array::forcecast>::ensure(
          array);
  for (py::ssize_t i = 0; i < values.size(); ++i) {
    if (values.data()[i] > static_cast<std::uint64_t>(INT64_MAX)) {
      throw py::value_error(std::string{name} + ": " + std::to_string(values.data()[i]) +
                            " is out of range");
    }
  }
}

// Integers as int64, converted once when they are of another integer type.
py::array_t<std::int64_t, py::array::c_style> as_int64(const py::array& array) {
  return py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(
      array);
}

}  // namespace

template <index_t D>
absl::Span<const karvel::Point<D>> InputArrays<D>::point_span() const {
  static_assert(sizeof(karvel::Point<D>) == D * sizeof(double) &&
                    std::is_standard_layout_v<karvel::Point<D>>,
                "a point is its D coordinates");
  return {reinterpret_cast<const karvel::Point<D>*>(points.data()),
          static_cast<std::size_t>(points.shape(0))};
}

template <index_t D>
typename InputArrays<D>::PatchTriangles InputArrays<D>::triangles_by_patch() const {
  PatchTriangles result;
  result.first.assign(labels.size() + 1, 0);
  for (const index_t patch : patches) ++result.first[patch + 1];
  for (std::size_t p = 0; p < labels.size(); ++p) result.first[p + 1] += result.first[p];
  result.triangles.resize(patches.size());
  std::vector<index_t> next(result.first.begin(), result.first.end() - 1);
  for (index_t t = 0; t < patches.size(); ++t) result.triangles[next[patches[t]]++] = t;
  return result;
}

template <index_t D>
InputArrays<D> read_input(const py::handle& points, const py::handle& triangles,
                          const py::handle& patches) {
  InputArrays<D> input;
  const char* const point_kind = D == 3 ? "(n, 3) real numbers" : "(n, 2) real numbers";
  const auto point_array = checked_array(points, "points", "fiu", point_kind, 2, D);
  // A copy only when the points are not float64 in C order already.
  input.points =
      py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(point_array);
  if (!input.points) throw py::error_already_set();
  const auto coordinates = input.points.template unchecked<2>();
  for (py::ssize_t p = 0; p < coordinates.shape(0); ++p) {
    for (py::ssize_t axis = 0; axis < D; ++axis) {
      if (!std::isfinite(coordinates(p, axis))) {
        throw py::value_error("points[" + std::to_string(p) + "] is not finite");
      }
    }
  }
  const auto nb_points = static_cast<std::int64_t>(coordinates.shape(0));

  const auto raw_triangles =
      checked_array(triangles, "triangles", "iu", "(m, 3) integers", 2, 3);
  refuse_huge_unsigned(raw_triangles, "triangles");
  const auto triangle_array = as_int64(raw_triangles);
  if (!triangle_array) throw py::error_already_set();
  const auto corners = triangle_array.unchecked<2>();
  if (corners.shape(0) == 0) throw py::value_error("triangles: no triangle to refine");
  if (corners.shape(0) > std::int64_t{karvel::NO_ID}) {
    throw py::value_error("triangles: more than " + std::to_string(karvel::NO_ID));
  }
  input.triangles.resize(static_cast<std::size_t>(corners.shape(0)));
  for (py::ssize_t t = 0; t < corners.shape(0); ++t) {
    for (py::ssize_t corner = 0; corner < 3; ++corner) {
      const std::int64_t vertex = corners(t, corner);
      if (vertex < 0 || vertex >= nb_points) {
        throw py::value_error("triangles[" + std::to_string(t) + ", " +
                              std::to_string(corner) + "] = " + std::to_string(vertex) +
                              " is out of range for " + std::to_string(nb_points) +
                              " points");
      }
      input.triangles[t][corner] = static_cast<index_t>(vertex);
    }
    const auto& v = input.triangles[t];
    if (v[0] == v[1] || v[1] == v[2] || v[2] == v[0]) {
      throw py::value_error("triangles[" + std::to_string(t) + "] repeats a vertex");
    }
    // Three points on a line: a triangle of no area, which no refinement can shape.
    std::array<std::array<double, 3>, 3> at{};
    for (int k = 0; k < 3; ++k) {
      for (index_t axis = 0; axis < D; ++axis) at[k][axis] = coordinates(v[k], axis);
    }
    if (tool::on_one_line(at[0], at[1], at[2])) {
      throw py::value_error("triangles[" + std::to_string(t) +
                            "] has no area: its three points are on one line");
    }
  }

  input.patches.assign(input.triangles.size(), 0);
  if (patches.is_none()) {
    input.labels = {0};
    return input;
  }
  const auto patch_array =
      as_int64(checked_array(patches, "patches", "iu", "(m,) integers", 1, 0));
  if (!patch_array) throw py::error_already_set();
  const auto labels = patch_array.unchecked<1>();
  if (labels.shape(0) != corners.shape(0)) {
    throw py::value_error("patches: " + std::to_string(labels.shape(0)) + " labels for " +
                          std::to_string(corners.shape(0)) + " triangles");
  }
  input.labels.assign(labels.data(0), labels.data(0) + labels.shape(0));
  std::sort(input.labels.begin(), input.labels.end());
  input.labels.erase(std::unique(input.labels.begin(), input.labels.end()),
                     input.labels.end());
  for (py::ssize_t t = 0; t < labels.shape(0); ++t) {
    input.patches[t] = static_cast<index_t>(
        std::lower_bound(input.labels.begin(), input.labels.end(), labels(t)) -
        input.labels.begin());
  }
  return input;
}

template struct InputArrays<2>;
template struct InputArrays<3>;
template InputArrays<2> read_input(const py::handle&, const py::handle&,
                                   const py::handle&);
template InputArrays<3> read_input(const py::handle&, const py::handle&,
                                   const py::handle&);

}  // namespace vemra::python
