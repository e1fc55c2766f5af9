// The whole refinement: split() on an icosphere under a uniform and a graded size, the
// parallel fill on 1 and 2 threads, refine() with and without triangle origins, and the
// whole initialize_remeshing_data.

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <karvel/model/from_patches.h>
#include <karvel/model/model_builder.h>
#include <vemra/refine.h>
#include <vemra/remeshing/detail/splitter.h>
#include <vemra/remeshing/remeshing_data.h>

#include "bench_models.h"
#include "heap_tracker.h"
#include "model_measures.h"
#include "splitter_access.h"

namespace {

using karvel::BRep;
using karvel::index_t;
using karvel::Point;
using BRepSplitter = vemra::detail::Splitter<BRep, hollent::BRepGeometricModifier, 3>;

}  // namespace

namespace {

// Uniform h, or h growing linearly away from the plane x = 0.
class PlaneDistanceMetric : public vemra::Metric<3> {
 public:
  PlaneDistanceMetric(double size, double slope) : size_{size}, slope_{slope} {}
  double point_metric(const Point<3>& point) const override {
    return size_ + slope_ * std::fabs(point.value(0));
  }

 private:
  double size_, slope_;
};

// An analytic field of a few transcendental functions (BM_CostlyMetric times it); its
// sizes are large enough that nothing is queued, so the fill measures evaluation alone.
class CostlyMetric : public vemra::Metric<3> {
 public:
  double point_metric(const Point<3>& p) const override {
    const double x = p.value(0), y = p.value(1), z = p.value(2);
    return 10.0 + std::sin(3.1 * x) * std::cos(2.7 * y) + std::exp(-z * z) +
           std::log1p(x * x + y * y) + std::atan2(y + 2.0, x + 2.0) +
           std::cbrt(2.0 + x * y) + std::tanh(z - x) + std::pow(1.5 + y * y, 0.37);
  }
};

void BM_CostlyMetric(benchmark::State& state) {
  const CostlyMetric metric;
  double x = 0.1;
  for (auto _ : state) {
    x = metric.point_metric(Point<3>{{x * 1e-3, 0.3, 0.7}});
    benchmark::DoNotOptimize(x);
  }
}
BENCHMARK(BM_CostlyMetric);

const BRep& icosphere() {
  static const BRep model = [] {
    const auto soup = bench::icosphere(5);  // 20,480 triangles
    return karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
  }();
  return model;
}

index_t nb_triangles(const BRep& model) {
  index_t count = 0;
  for (const auto& surface : model.surfaces()) count += surface.get_mesh().nb_polygons();
  return count;
}

// Arguments: slope in thousandths (0 for a uniform size).
void BM_RefineIcosphere(benchmark::State& state) {
  const PlaneDistanceMetric metric{0.00225, double(state.range(0)) / 1000.0};
  const index_t before = nb_triangles(icosphere());
  index_t after = 0;
  double peak_bytes = 0;
  for (auto _ : state) {
    BRep model;
    karvel::BRepBuilder{model}.copy(icosphere());
    bench::reset_heap_peak();
    const auto start = std::chrono::steady_clock::now();
    BRepSplitter{model, metric}.split();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    peak_bytes = double(bench::heap_figures().peak_bytes);
    after = nb_triangles(model);
    state.counters["model_bytes_per_triangle"] =
        double(bench::heap_figures().live_bytes) / double(after);
  }
  // A closed surface: every split adds two triangles.
  const double splits = double(after - before) / 2.0;
  state.counters["triangles_after"] = after;
  state.counters["splits_per_second"] = benchmark::Counter(
      splits * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["peak_bytes_per_triangle"] = peak_bytes / after;
}
BENCHMARK(BM_RefineIcosphere)
    ->ArgName("slope_per_mille")
    ->Arg(0)
    ->Arg(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// Accepts the triangles of the half x < 0.5 (the inner metric's size shrunk a millionfold
// there), so that half of the fill's candidates are pushed.
class LeftHalfAccepted : public vemra::Metric<3> {
 public:
  explicit LeftHalfAccepted(const vemra::Metric<3>& inner) : inner_{inner} {}
  double point_metric(const Point<3>& point) const override {
    const double size = inner_.point_metric(point);
    return point.value(0) < 0.5 ? size * 1e-6 : size;
  }

 private:
  const vemra::Metric<3>& inner_;
};

// Arguments: threads, whether the metric is the costly one, and whether half of the
// triangles are accepted (none otherwise).
void BM_ParallelFill(benchmark::State& state) {
  static const BRep model = [] {
    const auto soup = bench::grid<3>(1415);  // about 4 million triangles
    return karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
  }();
  tbb::global_control threads{tbb::global_control::max_allowed_parallelism,
                              static_cast<std::size_t>(state.range(0))};
  const CostlyMetric costly;
  const PlaneDistanceMetric trivial{10.0, 0.0};
  const vemra::Metric<3>& size =
      state.range(1) ? static_cast<const vemra::Metric<3>&>(costly) : trivial;
  const LeftHalfAccepted half{size};
  const vemra::Metric<3>& metric = state.range(2) ? half : size;
  BRep& refined = const_cast<BRep&>(model);  // the fill only reads it
  for (auto _ : state) {
    BRepSplitter splitter{refined, metric};
    vemra::detail::SplitterAccess<BRepSplitter>::fill(splitter);
    state.counters["queued"] =
        double(vemra::detail::SplitterAccess<BRepSplitter>::queued(splitter));
  }
  state.counters["triangles_per_second"] =
      benchmark::Counter(double(nb_triangles(model)) * double(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParallelFill)
    ->ArgNames({"threads", "costly", "half_accepted"})
    ->ArgsProduct({{1, 2}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly()
    ->UseRealTime();

// Generated inputs for the quality benchmark: the icosphere, the unit grid, and the grid
// as a rough terrain whose inner points are also moved sideways by up to a fifth of a
// cell (triangles of many shapes).
enum class Input { icosphere, grid, terrain };

const BRep& quality_input(Input input) {
  static const BRep grid = [] {
    const auto soup = bench::grid<3>(100);
    return karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
  }();
  static const BRep terrain = [] {
    auto soup = bench::grid<3>(100);
    for (auto& p : soup.points) {
      const double x = p.value(0), y = p.value(1);
      p.set_value(2, 0.15 * std::sin(7.0 * x) * std::cos(5.0 * y) +
                         0.05 * std::sin(31.0 * x * y));
      if (x <= 0.0 || x >= 1.0 || y <= 0.0 || y >= 1.0) continue;
      // A fixed pseudo-random offset per point, the same on every run.
      const double jitter = std::sin(12.9898 * x + 78.233 * y) * 43758.5453;
      const double u = jitter - std::floor(jitter);
      const double w = jitter * 7.0 - std::floor(jitter * 7.0);
      p.set_value(0, x + (u - 0.5) * 0.004);
      p.set_value(1, y + (w - 0.5) * 0.004);
    }
    return karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
  }();
  switch (input) {
    case Input::icosphere:
      return icosphere();
    case Input::grid:
      return grid;
    case Input::terrain:
      break;
  }
  return terrain;
}

double diagonal(const BRep& model) {
  std::array<double, 3> low{HUGE_VAL, HUGE_VAL, HUGE_VAL};
  std::array<double, 3> high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const auto& surface : model.surfaces()) {
    const auto& mesh = surface.get_mesh();
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      for (index_t k = 0; k < 3; ++k) {
        low[k] = std::min(low[k], mesh.point(v).value(k));
        high[k] = std::max(high[k], mesh.point(v).value(k));
      }
    }
  }
  double squared = 0.0;
  for (index_t k = 0; k < 3; ++k) squared += (high[k] - low[k]) * (high[k] - low[k]);
  return std::sqrt(squared);
}

// Triangles, splits (one new model vertex each), smallest angle and speed under
// h = d / 800 + slope * |x|, d the bounding-box diagonal.
// Arguments: the input, the slope in thousandths.
void BM_GradedQuality(benchmark::State& state) {
  const BRep& input = quality_input(static_cast<Input>(state.range(0)));
  const PlaneDistanceMetric metric{diagonal(input) / 800.0,
                                   double(state.range(1)) / 1000.0};
  double seconds = 0.0;
  for (auto _ : state) {
    BRep model;
    karvel::BRepBuilder{model}.copy(input);
    const auto start = std::chrono::steady_clock::now();
    BRepSplitter{model, metric}.split();
    seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    const double splits = double(model.nb_unique_vertices() - input.nb_unique_vertices());
    state.counters["triangles_after"] = nb_triangles(model);
    state.counters["splits"] = splits;
    state.counters["splits_per_second"] = splits / seconds;
    state.counters["min_angle_before"] = fixtures::smallest_angle(input);
    state.counters["min_angle_after"] = fixtures::smallest_angle(model);
  }
}
BENCHMARK(BM_GradedQuality)
    ->ArgNames({"input", "slope_per_mille"})
    ->ArgsProduct({{int(Input::icosphere), int(Input::grid), int(Input::terrain)},
                   {0, 30, 300, 1000}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// refine() in either order, with or without triangle origins, on the icosphere
// (h = 0.00225), the grid (uniform, h = 0.0008), the grid under h = 0.0002 + 0.005 |x|
// (growing away from a plane) and the terrain under that size. Arguments: the case, the
// order (0 exact, 1 banded), origins.
enum class RefineCase { icosphere, grid, graded_grid, terrain };

void BM_Refine(benchmark::State& state) {
  const auto which = static_cast<RefineCase>(state.range(0));
  const BRep& model_in = quality_input(which == RefineCase::icosphere ? Input::icosphere
                                       : which == RefineCase::terrain ? Input::terrain
                                                                      : Input::grid);
  const PlaneDistanceMetric metric =
      which == RefineCase::icosphere ? PlaneDistanceMetric{0.00225, 0}
      : which == RefineCase::grid    ? PlaneDistanceMetric{0.0008, 0}
                                     : PlaneDistanceMetric{0.0002, 0.005};
  vemra::RefineOptions options;
  options.order = state.range(1) ? vemra::SplitOrder::banded : vemra::SplitOrder::exact;
  options.record_origins = state.range(2) != 0;
  for (auto _ : state) {
    BRep model;
    karvel::BRepBuilder{model}.copy(model_in);
    bench::reset_heap_peak();
    const auto report = vemra::refine(model, metric, options);
    state.SetIterationTime(report.fill_seconds + report.split_seconds +
                           report.clean_seconds);
    state.counters["triangles_after"] = double(report.triangles_after);
    state.counters["splits_per_second"] =
        double(report.splits) /
        (report.fill_seconds + report.split_seconds + report.clean_seconds);
    state.counters["peak_bytes_per_triangle"] =
        double(bench::heap_figures().peak_bytes) / double(report.triangles_after);
    state.counters["min_angle"] = fixtures::smallest_angle(model);
  }
}
BENCHMARK(BM_Refine)
    ->ArgNames({"input", "banded", "origins"})
    ->ArgsProduct({{int(RefineCase::icosphere), int(RefineCase::grid),
                    int(RefineCase::graded_grid), int(RefineCase::terrain)},
                   {0, 1},
                   {0}})
    ->Args({int(RefineCase::icosphere), 0, 1})
    ->Args({int(RefineCase::icosphere), 1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

void BM_RemeshingData(benchmark::State& state) {
  const PlaneDistanceMetric metric{0.00225, 0.0};
  for (auto _ : state) {
    BRep output;
    auto data = vemra::initialize_remeshing_data(icosphere(), output, metric);
    state.counters["triangles_after"] = nb_triangles(data.background);
    benchmark::DoNotOptimize(data);
  }
}
BENCHMARK(BM_RemeshingData)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
