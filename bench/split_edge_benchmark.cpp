// Splitting interior edges of one large surface at their midpoints: the diagonal of every
// grid cell, each shared by two triangles. Reports splits per second and heap
// allocations per split.

#include <chrono>

#include <benchmark/benchmark.h>

#include <hollent/geometric_modifier.h>
#include <karvel/model/from_patches.h>

#include "bench_models.h"
#include "heap_tracker.h"

namespace {

using karvel::index_t;

void BM_SplitInteriorEdges(benchmark::State& state) {
  const auto soup = bench::grid<3>(static_cast<index_t>(state.range(0)));
  const auto nb_cells = static_cast<index_t>(soup.triangles.size() / 2);
  double allocations_per_split = 0;
  for (auto _ : state) {
    auto model = karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
    const auto& surface = *model.surfaces().begin();
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<3>&>(surface.get_mesh());
    hollent::BRepGeometricModifier modifier{model};
    const auto allocations = bench::heap_figures().allocations;
    const auto start = std::chrono::steady_clock::now();
    for (index_t cell = 0; cell < nb_cells; ++cell) {
      // Local edge 2 of the cell's first triangle is its diagonal.
      const karvel::PolygonEdge diagonal{2 * cell, 2};
      const auto v = mesh.triangle_edge_vertices(diagonal);
      auto result = modifier.split_edge(surface, diagonal,
                                        (mesh.point(v[0]) + mesh.point(v[1])) * 0.5);
      benchmark::DoNotOptimize(result);
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    allocations_per_split =
        double(bench::heap_figures().allocations - allocations) / double(nb_cells);
  }
  state.counters["splits_per_second"] = benchmark::Counter(
      double(nb_cells) * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["allocations_per_split"] = allocations_per_split;
}
BENCHMARK(BM_SplitInteriorEdges)
    ->Arg(500)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
