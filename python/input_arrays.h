#pragma once

// NumPy arrays in: points, triangles and patch labels, checked and read as the model
// builder takes them. Float64 points in C order are read where they lie.

#include <array>
#include <cstdint>
#include <vector>

#include <absl/types/span.h>
#include <pybind11/numpy.h>

#include <karvel/geometry/point.h>

namespace vemra::python {

namespace py = pybind11;
using karvel::index_t;

template <index_t D>
struct InputArrays {
  py::array_t<double, py::array::c_style> points;  // (n, D); a view when it could be
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> patches;      // per triangle: the rank of its label
  std::vector<std::int64_t> labels;  // the distinct labels, increasing

  absl::Span<const karvel::Point<D>> point_span() const;
  // The input triangles of each patch rank, in input order: [first[p], first[p + 1]).
  struct PatchTriangles {
    std::vector<index_t> first;
    std::vector<index_t> triangles;
  };
  PatchTriangles triangles_by_patch() const;
};

// Throws py::value_error naming the argument and the element: an array of the wrong
// shape or kind (points: real numbers; triangles and patches: integers), a point that is
// not finite, a vertex index out of range, no triangle at all.
template <index_t D>
InputArrays<D> read_input(const py::handle& points, const py::handle& triangles,
                          const py::handle& patches);

}  // namespace vemra::python
