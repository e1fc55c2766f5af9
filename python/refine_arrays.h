#pragma once

// vemra.refine and vemra.remesh: arrays in, a model built from them, refined or remeshed,
// and arrays out.

#include <optional>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

namespace vemra::python {

namespace py = pybind11;

struct Result {
  py::array points;     // (n', 3) or (n', 2) float64: one row per model vertex
  py::array triangles;  // (m', 3) int64
  py::array patches;    // (m',) int64: the label of the input patch
  py::array origin;     // (m',) int64: the input triangle each output triangle lies in
  py::dict stats;
};

struct RefineArguments {
  py::object points;
  py::object triangles;
  py::object patches;
  py::object size;
  bool section{false};
  std::string order{"banded"};
  std::optional<int> threads;
  py::object progress;
  std::optional<double> max_triangles;
};

// Throws py::value_error, py::type_error, or what the callables raise; MemoryError and
// KeyboardInterrupt pass through. Refuses a refinement estimated, or found, to make more
// than max_triangles (default: what fits in half of the memory), and a result that does
// not meet the size (coordinates too large or sizes too small for double precision).
// Releases the GIL while the model is built and refined.
Result refine_arrays(const RefineArguments& arguments);

struct RemeshArguments {
  int iterations{5};
  double feature_angle{40.0};
};

// The same for a remeshing to the size; `origin` is the input triangle nearest to each
// triangle's centroid, and progress(surfaces done, surfaces) is called between batches.
Result remesh_arrays(const RefineArguments& arguments, const RemeshArguments& remeshing);

}  // namespace vemra::python
