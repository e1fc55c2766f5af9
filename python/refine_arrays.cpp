// refine_arrays(arguments), the GIL taken unless said:
//   size -> metric; points, triangles, patches -> input arrays (checked, read once)
//   without the GIL, in an arena of `threads`: model from the patches -> measure ->
//     refine (origins recorded; progress: the caller's callable and Ctrl-C, with the GIL)
//     -> measure -> one row per model vertex, triangles by surface, patch labels, origins
//   -> NumPy arrays that own those rows (no copy) and the stats.

#include "refine_arrays.h"

#include <chrono>
#include <memory>
#include <vector>

#include <tbb/task_arena.h>

#include <karvel/model/from_patches.h>
#include <vemra/refine.h>

#include "input_arrays.h"
#include "model_numbering.h"
#include "size_metrics.h"
#include "statistics.h"

namespace vemra::python {
namespace {

// A NumPy array that owns `values`, moved in: no copy on the way out.
template <typename T>
py::array owning_array(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
  auto owned = std::make_unique<std::vector<T>>(std::move(values));
  py::capsule release(owned.get(),
                      [](void* data) { delete static_cast<std::vector<T>*>(data); });
  auto* data = owned.release();
  return py::array_t<T>(std::move(shape), data->data(), release);
}

struct Rows {
  std::vector<double> points;
  std::vector<std::int64_t> triangles;
  std::vector<std::int64_t> patches;
  std::vector<std::int64_t> origin;
  std::size_t nb_points{0};
};

template <typename Model, index_t D>
Rows rows_of(const Model& model, const InputArrays<D>& input,
             const RefineReport& report) {
  const tool::ModelNumbering<Model> numbering{model};
  Rows rows;
  rows.nb_points = numbering.nb_points();
  rows.points.resize(rows.nb_points * D);
  for (index_t p = 0; p < numbering.nb_points(); ++p) {
    const auto xyz = numbering.point(p);
    for (index_t axis = 0; axis < D; ++axis) rows.points[D * p + axis] = xyz[axis];
  }
  const auto by_patch = input.triangles_by_patch();
  rows.triangles.reserve(3 * std::size_t{numbering.nb_triangles()});
  rows.patches.reserve(numbering.nb_triangles());
  rows.origin.reserve(numbering.nb_triangles());
  // One surface per patch, in increasing label order; each surface's input triangles in
  // their input order.
  for (index_t s = 0; s < numbering.surfaces().size(); ++s) {
    const auto& surface = numbering.surfaces()[s];
    const auto& origins = report.origins.at(surface.surface->id());
    for (index_t t = 0; t < surface.mesh->nb_polygons(); ++t) {
      for (const index_t v : surface.mesh->triangle_vertices(t)) {
        rows.triangles.push_back(numbering.number(s, v));
      }
      rows.patches.push_back(input.labels[s]);
      rows.origin.push_back(by_patch.triangles[by_patch.first[s] + origins[t]]);
    }
  }
  return rows;
}

SplitOrder order_of(const std::string& order) {
  if (order == "banded") return SplitOrder::banded;
  if (order == "exact") return SplitOrder::exact;
  throw py::value_error("order: \"banded\" or \"exact\", not \"" + order + "\"");
}

template <typename Model, index_t D>
Result refine_model(const RefineArguments& arguments,
                    Model (*from_patches)(absl::Span<const karvel::Point<D>>,
                                          absl::Span<const std::array<index_t, 3>>,
                                          absl::Span<const index_t>)) {
  const auto start = std::chrono::steady_clock::now();
  RefineOptions options;
  options.order = order_of(arguments.order);
  options.record_origins = true;
  if (arguments.threads && *arguments.threads < 1) {
    throw py::value_error("threads: at least 1, not " +
                          std::to_string(*arguments.threads));
  }
  if (!arguments.progress.is_none() && !PyCallable_Check(arguments.progress.ptr())) {
    throw py::type_error("progress: expected a callable or None");
  }
  const auto metric = make_metric<D>(arguments.size);
  const auto input =
      read_input<D>(arguments.points, arguments.triangles, arguments.patches);
  const py::handle progress = arguments.progress;
  options.progress = [progress](const RefineProgress& where) {
    py::gil_scoped_acquire gil;
    // Ctrl-C stops a long refinement as it stops Python code.
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (progress.is_none()) return true;
    const py::object answer = progress(where.splits, where.triangles);
    return answer.is_none() || PyObject_IsTrue(answer.ptr()) == 1;
  };

  Rows rows;
  RefineReport report;
  tool::MeshFigures before{}, after{};
  {
    py::gil_scoped_release released;
    const auto work = [&] {
      Model model = from_patches(input.point_span(), input.triangles, input.patches);
      before = tool::measure(model);
      report = refine(model, *metric, options);
      after = tool::measure(model);
      rows = rows_of(model, input, report);
    };
    if (arguments.threads) {
      tbb::task_arena arena{*arguments.threads};
      arena.execute(work);
    } else {
      work();
    }
  }
  Result result;
  const auto nb_triangles = static_cast<py::ssize_t>(rows.patches.size());
  result.points =
      owning_array(std::move(rows.points), {static_cast<py::ssize_t>(rows.nb_points), D});
  result.triangles = owning_array(std::move(rows.triangles), {nb_triangles, 3});
  result.patches = owning_array(std::move(rows.patches), {nb_triangles});
  result.origin = owning_array(std::move(rows.origin), {nb_triangles});
  result.stats["triangles_before"] = report.triangles_before;
  result.stats["triangles_after"] = report.triangles_after;
  result.stats["splits"] = report.splits;
  result.stats["stopped"] = report.stopped;
  result.stats["order"] = arguments.order;
  result.stats["min_angle_before"] = before.min_angle;
  result.stats["min_angle_after"] = after.min_angle;
  result.stats["fill_seconds"] = report.fill_seconds;
  result.stats["split_seconds"] = report.split_seconds;
  result.stats["clean_seconds"] = report.clean_seconds;
  result.stats["seconds"] =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace

Result refine_arrays(const RefineArguments& arguments) {
  if (arguments.section) {
    return refine_model<karvel::Section, 2>(arguments, &karvel::section_from_patches);
  }
  return refine_model<karvel::BRep, 3>(arguments, &karvel::brep_from_patches);
}

}  // namespace vemra::python
