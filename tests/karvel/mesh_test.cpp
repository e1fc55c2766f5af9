#include <algorithm>

#include <gtest/gtest.h>

#include <karvel/basic/exception.h>
#include <karvel/geometry/mensuration.h>
#include <karvel/mesh/edged_curve_builder.h>
#include <karvel/mesh/polygonal_surface_builder.h>
#include <karvel/mesh/triangulated_surface_builder.h>

namespace karvel {
namespace {

// Every link has its way back, across the same two vertices in the other direction.
void expect_links_consistent(const TriangulatedSurface<2>& mesh) {
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    for (local_index_t e = 0; e < 3; ++e) {
      const index_t n = mesh.polygon_adjacent({t, e});
      if (n == NO_ID) continue;
      const auto v = mesh.polygon_edge_vertices({t, e});
      const auto back = mesh.edge_from_vertices(n, v[1], v[0]);
      ASSERT_NE(back, NO_LID) << "triangle " << t << " edge " << int(e);
      EXPECT_EQ(mesh.polygon_adjacent({n, back}), t);
    }
  }
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    for (const auto& corner : mesh.polygons_around_vertex(v)) {
      EXPECT_EQ(mesh.polygon_vertex(corner), v);
    }
  }
}

double total_area(const TriangulatedSurface<2>& mesh) {
  double area = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t)
    area += triangle_area(mesh.triangle(t));
  return area;
}

// A 2 x 1 rectangle of four triangles around the centre vertex 4.
struct Rectangle {
  Rectangle() {
    TriangulatedSurfaceBuilder<2> builder{mesh};
    for (const auto& p : {Point<2>{{0, 0}}, Point<2>{{2, 0}}, Point<2>{{2, 1}},
                          Point<2>{{0, 1}}, Point<2>{{1, 0.5}}}) {
      builder.create_point(p);
    }
    builder.create_triangle({0, 1, 4});
    builder.create_triangle({1, 2, 4});
    builder.create_triangle({2, 3, 4});
    builder.create_triangle({3, 0, 4});
    builder.compute_triangle_adjacencies();
  }
  TriangulatedSurface<2> mesh;
};

TEST(TriangulatedSurface, AdjacencyAndVertexFans) {
  Rectangle rectangle;
  const auto& mesh = rectangle.mesh;
  expect_links_consistent(mesh);
  EXPECT_EQ(mesh.polygon_adjacent({0, 1}), 1u);
  EXPECT_EQ(mesh.polygon_adjacent({0, 0}), NO_ID);
  EXPECT_EQ(mesh.polygons_around_vertex(4).size(), 4u);
  EXPECT_EQ(mesh.polygons_around_vertex(0).size(), 2u);
  EXPECT_EQ(mesh.triangle_vertices(2), (std::array<index_t, 3>{2, 3, 4}));
}

TEST(TriangulatedSurface, SplitInteriorAndBorderEdgesKeepsLinksAreaAndOrientation) {
  struct Case {
    const char* name;
    PolygonEdge edge;
    bool interior;
  };
  for (const auto& c : {Case{"interior", {0, 1}, true}, Case{"border", {0, 0}, false}}) {
    SCOPED_TRACE(c.name);
    Rectangle rectangle;
    auto& mesh = rectangle.mesh;
    TriangulatedSurfaceBuilder<2> builder{mesh};
    const auto ends = mesh.polygon_edge_vertices(c.edge);
    const index_t m =
        builder.create_point((mesh.point(ends[0]) + mesh.point(ends[1])) * 0.5);
    const auto split = builder.split_edge(c.edge, m);
    EXPECT_EQ(mesh.nb_polygons(), c.interior ? 6u : 5u);
    EXPECT_EQ(split.reshaped[0], c.edge.polygon_id);
    EXPECT_EQ(split.created[1] == NO_ID, !c.interior);
    expect_links_consistent(mesh);
    EXPECT_DOUBLE_EQ(total_area(mesh), 2.0);
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      EXPECT_GT(triangle_signed_area(mesh.triangle(t)), 0.0) << "triangle " << t;
    }
    EXPECT_EQ(mesh.polygons_around_vertex(m).size(), c.interior ? 4u : 2u);
  }
}

TEST(TriangulatedSurface, DeleteTrianglesAndIsolatedVerticesCompacts) {
  Rectangle rectangle;
  auto& mesh = rectangle.mesh;
  TriangulatedSurfaceBuilder<2> builder{mesh};
  builder.create_point(Point<2>{{5, 5}});
  const auto old_to_new = builder.delete_triangles({false, true, false, false});
  EXPECT_EQ(old_to_new, (std::vector<index_t>{0, NO_ID, 1, 2}));
  const auto vertices = builder.delete_isolated_vertices();
  EXPECT_EQ(vertices[5], NO_ID);
  EXPECT_EQ(mesh.nb_vertices(), 5u);
  EXPECT_EQ(mesh.polygon_adjacent({0, 1}), NO_ID);
  expect_links_consistent(mesh);
}

TEST(TriangulatedSurface, LinkingRejectsFlippedAndNonManifoldEdges) {
  struct Case {
    const char* name;
    std::vector<std::array<index_t, 3>> triangles;
    const char* message;
  };
  for (const auto& c :
       {Case{"three on one edge", {{0, 1, 2}, {1, 0, 3}, {0, 1, 3}}, "more than two"},
        Case{"same direction", {{0, 1, 2}, {0, 1, 3}}, "not consistently oriented"}}) {
    SCOPED_TRACE(c.name);
    TriangulatedSurface<2> mesh;
    TriangulatedSurfaceBuilder<2> builder{mesh};
    for (int i = 0; i < 4; ++i)
      builder.create_point(Point<2>{{double(i), double(i * i)}});
    for (const auto& t : c.triangles) builder.create_triangle(t);
    try {
      builder.compute_triangle_adjacencies();
      FAIL() << "no exception";
    } catch (const KarvelException& error) {
      EXPECT_NE(std::string{error.what()}.find(c.message), std::string::npos)
          << error.what();
    }
  }
  TriangulatedSurface<2> mesh;
  TriangulatedSurfaceBuilder<2> builder{mesh};
  builder.create_point(Point<2>{});
  EXPECT_THROW(builder.create_triangle({0, 0, 3}), KarvelException);
}

TEST(PolygonalSurface, QuadsAreLinked) {
  PolygonalSurface<3> mesh;
  PolygonalSurfaceBuilder<3> builder{mesh};
  for (int i = 0; i < 6; ++i)
    builder.create_point(Point<3>{{double(i % 3), double(i / 3), 0}});
  builder.create_polygon(std::vector<index_t>{0, 1, 4, 3});
  builder.create_polygon(std::vector<index_t>{1, 2, 5, 4});
  builder.compute_polygon_adjacencies();
  EXPECT_EQ(mesh.nb_polygons(), 2u);
  EXPECT_EQ(mesh.nb_polygon_vertices(1), 4u);
  EXPECT_EQ(mesh.polygon_adjacent({0, 1}), 1u);
  EXPECT_EQ(mesh.polygon_adjacent({1, 3}), 0u);
  EXPECT_EQ(mesh.polygons_around_vertex(4).size(), 2u);
  EXPECT_THROW(builder.create_polygon(std::vector<index_t>{0, 1}), KarvelException);
}

TEST(EdgedCurve, SplitDeleteAndLookup) {
  EdgedCurve<3> curve;
  EdgedCurveBuilder<3> builder{curve};
  for (int i = 0; i < 3; ++i) builder.create_point(Point<3>{{double(i), 0, 0}});
  builder.create_edge(0, 1);
  builder.create_edge(1, 2);
  const index_t m = builder.create_point(Point<3>{{1.5, 0, 0}});
  const index_t new_edge = builder.split_edge(1, m);
  EXPECT_EQ(curve.edge_vertices(1), (std::array<index_t, 2>{1, m}));
  EXPECT_EQ(curve.edge_vertices(new_edge), (std::array<index_t, 2>{m, 2}));
  EXPECT_EQ(curve.edge_from_vertices(2, m), new_edge);
  EXPECT_EQ(curve.edge_from_vertices(0, 2), NO_ID);
  builder.delete_edges({true, false, false});
  const auto old_to_new = builder.delete_isolated_vertices();
  EXPECT_EQ(old_to_new[0], NO_ID);
  EXPECT_EQ(curve.nb_vertices(), 3u);
  EXPECT_EQ(curve.nb_edges(), 2u);
  EXPECT_EQ(curve.edges_around_vertex(old_to_new[m]).size(), 2u);
}

}  // namespace
}  // namespace karvel
