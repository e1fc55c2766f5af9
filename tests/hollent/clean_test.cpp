#include <gtest/gtest.h>

#include <hollent/geometric_modifier.h>

namespace hollent {
namespace {

using karvel::ComponentType;
using karvel::Point;

// A square of two triangles plus a triangle that repeats vertex 2 and an unused vertex 4,
// and a line whose last two vertices are the same model vertex.
TEST(Clean, RemovesCollapsedElementsAndUnusedVertices) {
  Section model;
  SectionBuilder builder{model};
  const auto surface = builder.add_surface();
  const auto line = builder.add_line();
  const index_t surface_slot = builder.component_slot({ComponentType::surface, surface});
  const index_t line_slot = builder.component_slot({ComponentType::line, line});
  const index_t first = builder.create_unique_vertices(5);
  {
    auto mesh = builder.triangulated_surface_builder(surface);
    for (const auto& p : {Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{1, 1}},
                          Point<2>{{0, 1}}, Point<2>{{5, 5}}}) {
      const index_t v = mesh.create_point(p);
      builder.set_unique_vertex(surface_slot, v, first + v);
    }
    mesh.create_triangle({0, 1, 2});
    mesh.create_triangle({0, 2, 3});
    mesh.create_triangle({1, 2, 2});
  }
  {
    auto mesh = builder.line_mesh_builder(line);
    for (const auto& p : {Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{1, 0}}}) {
      mesh.create_point(p);
    }
    mesh.create_edge(0, 1);
    mesh.create_edge(1, 2);
    builder.set_unique_vertex(line_slot, 0, first);
    builder.set_unique_vertex(line_slot, 1, first + 1);
    builder.set_unique_vertex(line_slot, 2, first + 1);
  }
  SectionGeometricModifier modifier{model};
  modifier.clean_edges_lines();
  modifier.clean_triangles_surfaces();

  const auto& surface_mesh = dynamic_cast<const karvel::TriangulatedSurface<2>&>(
      model.surface(surface).get_mesh());
  EXPECT_EQ(surface_mesh.nb_polygons(), 2u);
  EXPECT_EQ(surface_mesh.nb_vertices(), 4u);
  EXPECT_EQ(surface_mesh.polygon_adjacent({0, 2}), 1u);
  const auto& line_mesh = model.line(line).mesh();
  EXPECT_EQ(line_mesh.nb_edges(), 1u);
  EXPECT_EQ(line_mesh.nb_vertices(), 2u);
  // The model vertex of the unused surface vertex is gone; the others still tie the line
  // ends to the square's corners.
  EXPECT_EQ(model.nb_unique_vertices(), 4u);
  for (index_t v = 0; v < 2; ++v) {
    const index_t unique = model.unique_vertex(line_slot, v);
    const index_t in_surface = model.vertex_in_slot(unique, surface_slot);
    ASSERT_NE(in_surface, karvel::NO_ID);
    EXPECT_EQ(surface_mesh.point(in_surface), line_mesh.point(v));
  }
}

}  // namespace
}  // namespace hollent
