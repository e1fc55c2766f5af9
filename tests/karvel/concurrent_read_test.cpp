#include <functional>

#include <gtest/gtest.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_invoke.h>
#include <tbb/parallel_reduce.h>

#include <karvel/geometry/mensuration.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/model/model_builder.h>

#include "fixtures.h"

namespace karvel {
namespace {

// Many threads read one model at once: lookups, meshes, fans, unique vertices, relations.
// Run under ThreadSanitizer, this shows that reads write nothing.
TEST(ParallelReads, ManyThreadsReadOneModel) {
  const auto model = fixtures::brep(fixtures::grid_soup<3>(60));
  const auto& surface = *model.surfaces().begin();
  const auto& mesh = dynamic_cast<const TriangulatedSurface<3>&>(surface.get_mesh());
  const double area = tbb::parallel_reduce(
      tbb::blocked_range<index_t>{0, mesh.nb_polygons()}, 0.0,
      [&](const tbb::blocked_range<index_t>& range, double sum) {
        for (index_t t = range.begin(); t != range.end(); ++t) {
          const auto& same = model.surface(surface.id());
          sum += triangle_area(mesh.triangle(t));
          const index_t v = mesh.triangle_vertices(t)[0];
          EXPECT_FALSE(same.get_mesh().polygons_around_vertex(v).empty());
          EXPECT_NE(model.unique_vertex({surface.component_id(), v}), NO_ID);
          EXPECT_FALSE(model.boundaries(surface.id()).empty());
        }
        return sum;
      },
      std::plus<>{});
  EXPECT_NEAR(area, 1.0, 1e-9);
}

TEST(ParallelReads, TwoCopiesOfOneModelAtOnce) {
  const auto source = fixtures::cube();
  BRep first, second;
  tbb::parallel_invoke([&] { BRepBuilder{first}.copy(source); },
                       [&] { BRepBuilder{second}.copy_components(source); });
  EXPECT_EQ(first.nb_surfaces(), 6u);
  EXPECT_EQ(second.nb_surfaces(), 6u);
}

}  // namespace
}  // namespace karvel
