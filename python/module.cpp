// The `vemra` module: refine(), SizeGrid, read() and write(), and the library's errors
// as Python's (bad input: ValueError; out of memory: MemoryError).

#include <filesystem>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <karvel/basic/exception.h>
#include <karvel/model/from_patches.h>
#include <vemra/remeshing/model_kind.h>

#include "input_arrays.h"
#include "mesh_readers.h"
#include "model_writers.h"
#include "output_files.h"
#include "refine_arrays.h"
#include "size_metrics.h"

namespace vemra::python {
namespace {

// A str or any os.PathLike.
std::string path_text(const py::object& path) {
  return py::module_::import("os").attr("fspath")(path).cast<std::string>();
}

py::tuple read_file(const py::object& path_object, bool names) {
  const std::string path = path_text(path_object);
  if (!std::filesystem::exists(path)) {
    PyErr_SetString(PyExc_FileNotFoundError, (path + ": no such file").c_str());
    throw py::error_already_set();
  }
  tool::Soup soup;
  {
    py::gil_scoped_release released;
    soup = tool::read_soup(path);
  }
  const auto nb_points = static_cast<py::ssize_t>(soup.points.size());
  const auto nb_triangles = static_cast<py::ssize_t>(soup.triangles.size());
  py::array_t<double> points({nb_points, py::ssize_t{3}});
  auto xyz = points.mutable_unchecked<2>();
  for (py::ssize_t p = 0; p < nb_points; ++p) {
    for (py::ssize_t axis = 0; axis < 3; ++axis)
      xyz(p, axis) = soup.points[p].value(axis);
  }
  py::array_t<std::int64_t> triangles({nb_triangles, py::ssize_t{3}});
  auto corners = triangles.mutable_unchecked<2>();
  for (py::ssize_t t = 0; t < nb_triangles; ++t) {
    for (py::ssize_t c = 0; c < 3; ++c) corners(t, c) = soup.triangles[t][c];
  }
  py::array_t<std::int64_t> patches(nb_triangles);
  std::copy(soup.patches.begin(), soup.patches.end(), patches.mutable_data());
  if (!names) return py::make_tuple(points, triangles, patches);
  // One name per patch index; a format without names gives none.
  py::list patch_names;
  for (const auto& name : soup.patch_names) patch_names.append(name);
  return py::make_tuple(points, triangles, patches, patch_names);
}

template <typename Model, index_t D>
void write_model(const std::string& path, const InputArrays<D>& input,
                 Model (*from_patches)(absl::Span<const karvel::Point<D>>,
                                       absl::Span<const std::array<index_t, 3>>,
                                       absl::Span<const index_t>)) {
  py::gil_scoped_release released;
  Model model = from_patches(input.point_span(), input.triangles, input.patches);
  // Each surface named after its label, which the groups or objects of the file keep.
  typename vemra::ModelKind<Model>::Builder builder{model};
  index_t rank = 0;
  for (const auto& surface : model.surfaces()) {
    builder.set_name({karvel::ComponentType::surface, surface.id()},
                     std::to_string(input.labels[rank++]));
  }
  tool::OutputFiles files{{path}, ""};
  std::string extension = std::filesystem::path{path}.extension().string();
  for (auto& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  files.write(0, [&](tool::TextWriter& out) {
    if (extension == ".obj") {
      tool::write_obj(model, out);
    } else if (extension == ".vtp") {
      tool::write_vtp(model, nullptr, false, out);
    } else if (extension == ".ts") {
      tool::write_tsurf(model, out);
    } else {
      tool::write_msh(model, out);
    }
  });
  files.commit();
}

void write_file(const py::object& path_object, const py::object& points,
                const py::object& triangles, const py::object& patches) {
  const std::string path = path_text(path_object);
  std::string extension = std::filesystem::path{path}.extension().string();
  for (auto& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".obj" && extension != ".vtp" && extension != ".ts" &&
      extension != ".msh") {
    throw py::value_error(path + ": the extension must be .obj, .vtp, .ts or .msh");
  }
  const auto array = py::array::ensure(points);
  if (array && array.ndim() == 2 && array.shape(1) == 2) {
    write_model<karvel::Section, 2>(path, read_input<2>(points, triangles, patches),
                                    &karvel::section_from_patches);
  } else {
    write_model<karvel::BRep, 3>(path, read_input<3>(points, triangles, patches),
                                 &karvel::brep_from_patches);
  }
}

}  // namespace
}  // namespace vemra::python

PYBIND11_MODULE(vemra, module) {
  namespace py = pybind11;
  using namespace vemra::python;
  module.doc() =
      "Refines triangulated surfaces to a size, conformingly across the lines where "
      "patches meet.";
  module.attr("__version__") = VEMRA_VERSION;

  py::register_exception_translator([](std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const karvel::KarvelException& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const vemra::tool::InputError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    }
  });

  py::class_<Result>(module, "Result", "What vemra.refine returns.")
      .def_readonly("points", &Result::points, "(n, 3) float64, or (n, 2) for a section")
      .def_readonly("triangles", &Result::triangles, "(m, 3) int64, 0-based")
      .def_readonly("patches", &Result::patches,
                    "(m,) int64: the label of the input patch of each triangle")
      .def_readonly("origin", &Result::origin,
                    "(m,) int64: the input triangle that each triangle lies in")
      .def_readonly("stats", &Result::stats)
      .def("__repr__", [](const Result& result) {
        return "<vemra.Result: " + std::to_string(result.points.shape(0)) + " points, " +
               std::to_string(result.triangles.shape(0)) + " triangles>";
      });

  py::class_<SizeGrid>(module, "SizeGrid",
                       "Sizes at the nodes of a regular grid, interpolated linearly.")
      .def(
          py::init<const std::vector<double>&, const std::vector<double>&,
                   const py::object&>(),
          py::arg("origin"), py::arg("spacing"), py::arg("values"),
          "values[i, j, k] (or values[i, j]) is the size at origin + (i, j, k) * spacing")
      .def_property_readonly("origin", &SizeGrid::origin)
      .def_property_readonly("spacing", &SizeGrid::spacing)
      .def_property_readonly("shape", &SizeGrid::shape)
      .def(
          "__call__",
          [](const SizeGrid& grid, const std::vector<double>& point) {
            if (point.size() != grid.dimension()) {
              throw py::value_error("SizeGrid: a point has " +
                                    std::to_string(grid.dimension()) + " coordinates");
            }
            return grid.at(point.data());
          },
          py::arg("point"), "The size at a point inside the grid.");

  module.def(
      "refine",
      [](py::object points, py::object triangles, py::object patches, py::object size,
         bool section, std::string order, std::optional<int> threads, py::object progress,
         std::optional<double> max_triangles) {
        return refine_arrays({std::move(points), std::move(triangles), std::move(patches),
                              std::move(size), section, std::move(order), threads,
                              std::move(progress), max_triangles});
      },
      py::arg("points"), py::arg("triangles"), py::arg("patches") = py::none(),
      py::arg("size"), py::arg("section") = false, py::arg("order") = "banded",
      py::arg("threads") = py::none(), py::arg("progress") = py::none(),
      py::arg("max_triangles") = py::none(),
      R"doc(Refines the triangles until each one's longest edge is at most twice the size at
its midpoint, conformingly across the lines where patches meet.

points: (n, 3) real numbers, or (n, 2) with section=True.
triangles: (m, 3) integers, 0-based.
patches: (m,) integer label per triangle; None: one patch.
size: a number, an expression in x, y, z ("0.01 + 0.1*abs(x)"), a callable of one point
  (x, y, z) returning a number (called with the GIL taken, on one thread: slow; prefer an
  expression or a SizeGrid), or a SizeGrid.
order: "banded" (fast) or "exact" (the reference order).
threads: None for every core.
progress: callable(splits, triangles); returning False stops the refinement early (the
  result is valid and says stats["stopped"]).
max_triangles: refuse a refinement estimated, or found, to make more (default: what fits
  in half of this machine's memory).
Raises ValueError for bad input or a size that is not positive and finite where it is
evaluated, TypeError for arguments of the wrong type, MemoryError.)doc");

  module.def(
      "remesh",
      [](py::object points, py::object triangles, py::object patches, py::object size,
         bool section, int iterations, double feature_angle, std::optional<int> threads,
         py::object progress, std::optional<double> max_triangles) {
        return remesh_arrays(
            {std::move(points), std::move(triangles), std::move(patches), std::move(size),
             section, "banded", threads, std::move(progress), max_triangles},
            {iterations, feature_angle});
      },
      py::arg("points"), py::arg("triangles"), py::arg("patches") = py::none(),
      py::arg("size"), py::arg("section") = false, py::arg("iterations") = 5,
      py::arg("feature_angle") = 40.0, py::arg("threads") = py::none(),
      py::arg("progress") = py::none(), py::arg("max_triangles") = py::none(),
      R"doc(Remeshes the patches to the size: edges about `size` long (finer and coarser
than the input), triangles near equilateral, conforming across the lines where patches
meet; corners and lines kept, edges of a patch whose triangles meet at an angle sharper
than feature_angle (degrees) kept as creases. The arguments and the result are those of
refine(); result.origin is the input triangle nearest to each triangle's centroid, and
stats gives the spread (smallest, q01, median) of the angles and of edge length / size.
progress(surfaces_done, surfaces) returning False stops with a ValueError.)doc");

  module.def("read", &read_file, py::arg("path"), py::arg("names") = false,
             "Reads (points, triangles, patches) from an OBJ (each group a patch), OFF, "
             "PLY, STL or TSurf (.ts) file; patches count from 0 in the file's order. "
             "With names=True, also the name of each patch (the OBJ group, the TSurf "
             "TFACE's object), as a list.");
  module.def("write", &write_file, py::arg("path"), py::arg("points"),
             py::arg("triangles"), py::arg("patches") = py::none(),
             "Writes a model of the patches to .obj, .vtp, .ts or .msh, all or nothing; "
             "each patch is named after its label (OBJ groups, TSurf objects).");
}
