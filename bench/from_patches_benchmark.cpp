// Building a one-surface model from a triangle soup: triangles per second, and the heap
// the finished model holds per triangle (points, triangles, adjacency, unique vertices).

#include <chrono>

#include <benchmark/benchmark.h>

#include <karvel/model/from_patches.h>

#include "bench_models.h"
#include "heap_tracker.h"

namespace {

void BM_BRepFromPatches(benchmark::State& state) {
  const auto soup = bench::grid<3>(static_cast<karvel::index_t>(state.range(0)));
  double bytes_per_triangle = 0;
  for (auto _ : state) {
    const auto before = bench::heap_figures().live_bytes;
    const auto start = std::chrono::steady_clock::now();
    auto model = karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    bytes_per_triangle =
        double(bench::heap_figures().live_bytes - before) / double(soup.triangles.size());
    benchmark::DoNotOptimize(model);
  }
  state.counters["triangles"] = double(soup.triangles.size());
  state.counters["triangles_per_second"] =
      benchmark::Counter(double(soup.triangles.size()) * double(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.counters["bytes_per_triangle"] = bytes_per_triangle;
}
// 708 x 708 cells: about one million triangles.
BENCHMARK(BM_BRepFromPatches)->Arg(708)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
