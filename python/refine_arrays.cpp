// refine_arrays(arguments), the GIL taken unless said:
//   size -> metric; points, triangles, patches -> input arrays (checked, read once)
//   without the GIL, in an arena of `threads`: model from the patches -> measure ->
//     refine (origins recorded; progress: the caller's callable and Ctrl-C, with the GIL;
//     a spare core grows and touches the output rows meanwhile)
//     -> measure, and number the points, side by side -> one row per model vertex,
//     triangles by surface, patch labels, origins
//   -> NumPy arrays that own those rows (no copy) and the stats.

#include "refine_arrays.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <system_error>
#include <tuple>
#include <vector>

#include <tbb/parallel_for.h>
#include <tbb/parallel_invoke.h>
#include <tbb/task_arena.h>

#include <karvel/basic/trivial_vector.h>
#include <karvel/model/from_patches.h>
#include <vemra/refine.h>
#include <vemra/remesh.h>

#include "input_arrays.h"
#include "model_numbering.h"
#include "output_rows.h"
#include "size_metrics.h"
#include "soup.h"
#include "statistics.h"

namespace vemra::python {
namespace {

// A NumPy array that owns `values`, moved in: no copy on the way out.
template <typename T>
py::array owning_array(karvel::TrivialVector<T>&& values,
                       std::vector<py::ssize_t> shape) {
  auto owned = std::make_unique<karvel::TrivialVector<T>>(std::move(values));
  py::capsule release(owned.get(), [](void* data) {
    delete static_cast<karvel::TrivialVector<T>*>(data);
  });
  auto* data = owned.release();
  return py::array_t<T>(std::move(shape), data->data(), release);
}

// Fills `rows`, grown already or not, with the model's points and triangles.
template <typename Model, index_t D>
void fill_rows(const tool::ModelNumbering<Model>& numbering, const InputArrays<D>& input,
               const absl::flat_hash_map<karvel::uuid, std::vector<index_t>>& origins_of,
               Rows& rows) {
  rows.nb_points = numbering.nb_points();
  rows.points.resize_for_overwrite(rows.nb_points * D);
  tbb::parallel_for(index_t{0}, numbering.nb_points(), [&](index_t p) {
    const auto xyz = numbering.point(p);
    for (index_t axis = 0; axis < D; ++axis) rows.points[D * p + axis] = xyz[axis];
  });
  const auto by_patch = input.triangles_by_patch();
  // Every row is written below, in parallel: the pages are first touched there.
  rows.triangles.resize_for_overwrite(3 * std::size_t{numbering.nb_triangles()});
  rows.patches.resize_for_overwrite(numbering.nb_triangles());
  rows.origin.resize_for_overwrite(numbering.nb_triangles());
  // One surface per patch, in increasing label order; each surface's input triangles in
  // their input order.
  std::size_t first_row = 0;
  karvel::TrivialVector<index_t> number_of_vertex;
  for (index_t s = 0; s < numbering.surfaces().size(); ++s) {
    const auto& surface = numbering.surfaces()[s];
    const auto& mesh = *surface.mesh;
    const auto& origins = origins_of.at(surface.surface->id());
    // A vertex is numbered once, not once per triangle around it.
    number_of_vertex.resize_for_overwrite(mesh.nb_vertices());
    tbb::parallel_for(index_t{0}, mesh.nb_vertices(),
                      [&](index_t v) { number_of_vertex[v] = numbering.number(s, v); });
    tbb::parallel_for(index_t{0}, mesh.nb_polygons(), [&](index_t t) {
      const std::size_t row = first_row + t;
      const auto vertices = mesh.triangle_vertices(t);
      for (int corner = 0; corner < 3; ++corner) {
        rows.triangles[3 * row + corner] = number_of_vertex[vertices[corner]];
      }
      rows.patches[row] = input.labels[s];
      rows.origin[row] = by_patch.triangles[by_patch.first[s] + origins[t]];
    });
    first_row += mesh.nb_polygons();
  }
}

SplitOrder order_of(const std::string& order) {
  if (order == "banded") return SplitOrder::banded;
  if (order == "exact") return SplitOrder::exact;
  throw py::value_error("order: \"banded\" or \"exact\", not \"" + order + "\"");
}

// The limit on output triangles: max_triangles, or what fits in half of the memory.
double triangle_limit(const RefineArguments& arguments) {
  if (arguments.threads && (*arguments.threads < 1 || *arguments.threads > 1024)) {
    throw py::value_error("threads: from 1 to 1024, not " +
                          std::to_string(*arguments.threads));
  }
  if (!arguments.progress.is_none() && !PyCallable_Check(arguments.progress.ptr())) {
    throw py::type_error("progress: expected a callable or None");
  }
  const double limit =
      arguments.max_triangles ? *arguments.max_triangles : tool::default_max_triangles();
  if (!(limit >= 1)) throw py::value_error("max_triangles: at least 1");
  return limit;
}

template <typename Model, index_t D>
void refuse_estimate(const Model& model, const Metric<D>& metric, tool::Meshing meshing,
                     double limit) {
  const double estimate = tool::estimate_triangles(model, metric, meshing);
  if (estimate > limit) {
    throw py::value_error(
        "size: about " + tool::count_text(estimate) +
        " triangles expected, more than max_triangles = " + tool::count_text(limit));
  }
}

// Runs `work` without the GIL, in an arena of `threads` when given.
template <typename Work>
void run_released(const std::optional<int>& threads, const Work& work) {
  py::gil_scoped_release released;
  if (threads) {
    tbb::task_arena arena{*threads};
    arena.execute(work);
  } else {
    work();
  }
}

// Calls the caller's progress(done, total) with the GIL taken, and checks for Ctrl-C,
// which stops a long run as it stops Python code. False: stop.
bool report_progress(const py::handle& progress, std::size_t done, std::size_t total) {
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  if (progress.is_none()) return true;
  const py::object answer = progress(done, total);
  return answer.is_none() || PyObject_IsTrue(answer.ptr()) == 1;
}

Result arrays_of(Rows&& rows, py::ssize_t dimension) {
  Result result;
  const auto nb_triangles = static_cast<py::ssize_t>(rows.patches.size());
  result.points = owning_array(std::move(rows.points),
                               {static_cast<py::ssize_t>(rows.nb_points), dimension});
  result.triangles = owning_array(std::move(rows.triangles), {nb_triangles, 3});
  result.patches = owning_array(std::move(rows.patches), {nb_triangles});
  result.origin = owning_array(std::move(rows.origin), {nb_triangles});
  return result;
}

using Clock = std::chrono::steady_clock;

// What both runs take from the arguments first: the limit, the size, the arrays and the
// threads.
template <index_t D>
struct Prepared {
  double limit;
  std::unique_ptr<Metric<D>> metric;
  InputArrays<D> input;
  std::optional<int> threads;
};

template <index_t D>
Prepared<D> prepare(const RefineArguments& arguments) {
  const double limit = triangle_limit(arguments);
  auto metric = make_metric<D>(arguments.size);
  // A Python size runs on one thread: its calls hold the GIL one at a time anyway, and
  // threads handing the GIL to each other at every call make a parallel pass crawl (the
  // size check over 368,640 triangles took 18 s on two threads, 0.1 s on one).
  const std::optional<int> threads =
      calls_python(arguments.size) ? std::optional<int>{1} : arguments.threads;
  return {limit, std::move(metric),
          read_input<D>(arguments.points, arguments.triangles, arguments.patches),
          threads};
}

template <typename Model, index_t D>
Result refine_model(const RefineArguments& arguments,
                    Model (*from_patches)(absl::Span<const karvel::Point<D>>,
                                          absl::Span<const std::array<index_t, 3>>,
                                          absl::Span<const index_t>)) {
  const auto start = Clock::now();
  RefineOptions options;
  options.order = order_of(arguments.order);
  options.record_origins = true;
  // Named members, not a structured binding: lambdas below capture them.
  const auto prepared = prepare<D>(arguments);
  const double limit = prepared.limit;
  const auto& metric = prepared.metric;
  const auto& input = prepared.input;
  const py::handle progress = arguments.progress;
  bool over_limit = false;
  RowPrefaulter* prefaulter = nullptr;
  options.progress = [progress, limit, &over_limit,
                      &prefaulter](const RefineProgress& where) {
    if (double(where.triangles) > limit) {
      over_limit = true;
      return false;
    }
    // Rows only for a count within the limit: past it the result is refused.
    if (prefaulter) prefaulter->follow(where.triangles);
    return report_progress(progress, where.splits, where.triangles);
  };
  Rows rows;
  RefineReport report;
  tool::MeshFigures before{}, after{};
  run_released(prepared.threads, [&] {
    Model model = from_patches(input.point_span(), input.triangles, input.patches);
    refuse_estimate(model, *metric, tool::Meshing::refine, limit);
    before = tool::measure(model);
    // The split loop keeps one core: a spare one touches the rows meanwhile, and the
    // rest of them while the result is measured.
    std::optional<RowPrefaulter> spare_core;
    if (tbb::this_task_arena::max_concurrency() > 1) {
      try {
        prefaulter = &spare_core.emplace(rows, D);
      } catch (const std::system_error&) {
        // No thread for it: the filler touches the rows itself.
      }
    }
    report = refine(model, *metric, options);
    if (prefaulter && !over_limit) prefaulter->follow(report.triangles_after);
    prefaulter = nullptr;
    if (over_limit) {
      throw py::value_error(
          "stopped at " + std::to_string(report.triangles_after) +
          " triangles, more than max_triangles = " + tool::count_text(limit));
    }
    // Every longest edge at most twice the size, but for rounding: else the points
    // could not be halved any more in double precision.
    double ratio = 0;
    std::optional<tool::ModelNumbering<Model>> numbering;
    // Side by side: each waits on memory much of the time.
    tbb::parallel_invoke(
        [&] { std::tie(after, ratio) = tool::measure_refined(model, *metric); },
        [&] { numbering.emplace(model); });
    if (!report.stopped && !(ratio <= 1 + 1e-12)) {
      throw py::value_error(
          "the refined model does not meet the size: an edge is " +
          std::to_string(ratio) +
          " times twice the size at its midpoint (the coordinates are too large, or the "
          "sizes too small, for an edge to be halved in double precision)");
    }
    spare_core.reset();
    fill_rows(*numbering, input, report.origins, rows);
  });
  Result result = arrays_of(std::move(rows), D);
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
  result.stats["seconds"] = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

template <typename Model, index_t D>
Result remesh_model(const RefineArguments& arguments, const RemeshArguments& remeshing,
                    Model (*from_patches)(absl::Span<const karvel::Point<D>>,
                                          absl::Span<const std::array<index_t, 3>>,
                                          absl::Span<const index_t>)) {
  const auto start = Clock::now();
  RemeshOptions options;
  if (remeshing.iterations < 1 || remeshing.iterations > 100) {
    throw py::value_error("iterations: from 1 to 100");
  }
  if (!(remeshing.feature_angle > 0 && remeshing.feature_angle < 180)) {
    throw py::value_error("feature_angle: degrees, more than 0 and less than 180");
  }
  options.iterations = remeshing.iterations;
  options.feature_angle = remeshing.feature_angle;
  options.record_origins = true;
  // Named members, not a structured binding: lambdas below capture them.
  const auto prepared = prepare<D>(arguments);
  const double limit = prepared.limit;
  const auto& metric = prepared.metric;
  const auto& input = prepared.input;
  const py::handle progress = arguments.progress;
  bool stopped = false;
  options.progress = [progress, &stopped](const RemeshProgress& where) {
    stopped = !report_progress(progress, where.surfaces_done, where.surfaces);
    return !stopped;
  };
  Rows rows;
  RemeshReport report;
  tool::Shape before{}, after{};
  run_released(prepared.threads, [&] {
    const Model model = from_patches(input.point_span(), input.triangles, input.patches);
    refuse_estimate(model, *metric, tool::Meshing::remesh, limit);
    before = tool::shape(model, *metric);
    Model output;
    try {
      report = remesh(model, output, *metric, options);
    } catch (const RemeshStopped&) {
      if (stopped) throw py::value_error("remesh: stopped by the progress callable");
      throw;
    }
    if (double(report.triangles_after) > limit) {
      throw py::value_error(
          "remeshed to " + std::to_string(report.triangles_after) +
          " triangles, more than max_triangles = " + tool::count_text(limit));
    }
    after = tool::shape(output, *metric);
    fill_rows(tool::ModelNumbering<Model>{output}, input, report.origins, rows);
  });
  Result result = arrays_of(std::move(rows), D);
  const auto spread = [](const tool::Spread& s) {
    py::dict d;
    d["smallest"] = s.smallest;
    d["q01"] = s.q01;
    d["median"] = s.median;
    return d;
  };
  result.stats["triangles_before"] = report.triangles_before;
  result.stats["triangles_after"] = report.triangles_after;
  result.stats["stopped"] = false;
  result.stats["min_angle_before"] = before.angles.smallest;
  result.stats["min_angle_after"] = after.angles.smallest;
  result.stats["angles_before"] = spread(before.angles);
  result.stats["angles_after"] = spread(after.angles);
  result.stats["edge_over_size_before"] = spread(before.lengths);
  result.stats["edge_over_size_after"] = spread(after.lengths);
  result.stats["line_seconds"] = report.line_seconds;
  result.stats["surface_seconds"] = report.surface_seconds;
  result.stats["seconds"] = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

}  // namespace

Result refine_arrays(const RefineArguments& arguments) {
  if (arguments.section) {
    return refine_model<karvel::Section, 2>(arguments, &karvel::section_from_patches);
  }
  return refine_model<karvel::BRep, 3>(arguments, &karvel::brep_from_patches);
}

Result remesh_arrays(const RefineArguments& arguments, const RemeshArguments& remeshing) {
  if (arguments.section) {
    return remesh_model<karvel::Section, 2>(arguments, remeshing,
                                            &karvel::section_from_patches);
  }
  return remesh_model<karvel::BRep, 3>(arguments, remeshing, &karvel::brep_from_patches);
}

}  // namespace vemra::python
