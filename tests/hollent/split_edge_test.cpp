#include <random>

#include <gtest/gtest.h>

#include <hollent/geometric_modifier.h>
#include <karvel/basic/exception.h>
#include <karvel/model/checker.h>

#include "fixtures.h"
#include "model_measures.h"

namespace hollent {
namespace {

using karvel::index_t;
using karvel::Point;
using karvel::TriangulatedSurface;

template <typename Model>
using Modifier = std::conditional_t<std::is_same_v<Model, BRep>, BRepGeometricModifier,
                                    SectionGeometricModifier>;

template <index_t D>
struct Found {
  const karvel::Surface<D>* surface{nullptr};
  PolygonEdge edge;
};

// The first triangle edge, in any surface, that joins the two points.
template <typename Model>
Found<Model::dim> find_edge(const Model& model, const Point<Model::dim>& p,
                            const Point<Model::dim>& q) {
  for (const auto& surface : model.surfaces()) {
    const auto& mesh =
        dynamic_cast<const TriangulatedSurface<Model::dim>&>(surface.get_mesh());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      for (local_index_t e = 0; e < 3; ++e) {
        const auto v = mesh.polygon_edge_vertices({t, e});
        if ((mesh.point(v[0]) == p && mesh.point(v[1]) == q) ||
            (mesh.point(v[0]) == q && mesh.point(v[1]) == p)) {
          return {&surface, {t, e}};
        }
      }
    }
  }
  return {};
}

template <typename Model>
void expect_valid_with_same_areas(const Model& model,
                                  const absl::flat_hash_map<uuid, double>& areas) {
  const auto report = karvel::check_model(model);
  EXPECT_TRUE(report.ok()) << report.text();
  for (const auto& [id, area] : fixtures::surface_areas(model)) {
    EXPECT_NEAR(area, areas.at(id), 1e-12) << model.surface(id).name();
  }
}

template <typename Model>
struct SplitCase {
  const char* name;
  Model (*make)();
  Point<Model::dim> p, q;
  std::size_t surfaces, lines;
  bool two_sides_in_first_surface;
};

template <typename Model>
void run_split_case(const SplitCase<Model>& c) {
  SCOPED_TRACE(c.name);
  auto model = c.make();
  const auto areas = fixtures::surface_areas(model);
  const auto found = find_edge(model, c.p, c.q);
  ASSERT_NE(found.surface, nullptr);
  const index_t triangles = fixtures::nb_triangles(model);
  Modifier<Model> modifier{model};
  const auto result = modifier.split_edge(*found.surface, found.edge, (c.p + c.q) * 0.5);
  EXPECT_EQ(result.surface_splits.size(), c.surfaces);
  EXPECT_EQ(result.line_splits.size(), c.lines);
  EXPECT_NE(result.new_unique_vertex, karvel::NO_ID);
  // The named edge is split last, after the longer edges around it (propagation).
  const auto& own = result.surface_splits.find(found.surface->id())->second;
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.back().second.polygons.empty(), !c.two_sides_in_first_surface);
  const auto& mesh =
      dynamic_cast<const TriangulatedSurface<Model::dim>&>(found.surface->get_mesh());
  EXPECT_EQ(mesh.point(own.back().new_vertex), (c.p + c.q) * 0.5);
  index_t listed = 0;
  for (const auto& [id, splits] : result.surface_splits) {
    for (const auto& split : splits) {
      for (const auto* side : {&split.first, &split.second}) {
        for (const auto& [a, b] : side->polygons) {
          EXPECT_NE(a, b);
          ++listed;
        }
      }
    }
  }
  // Every side lists both of its halves.
  EXPECT_EQ(listed, 2 * (fixtures::nb_triangles(model) - triangles));
  expect_valid_with_same_areas(model, areas);
}

TEST(SplitEdge, ConformingSplitsInEveryComponentThatHoldsTheEdge) {
  using P = Point<3>;
  for (const auto& c : std::vector<SplitCase<BRep>>{
           {"interior edge", fixtures::cube, P{{0, 0, 0}}, P{{1, 1, 0}}, 1, 0, true},
           {"line of two surfaces", fixtures::cube, P{{0, 0, 0}}, P{{1, 0, 0}}, 2, 1,
            false},
           {"line of three surfaces", fixtures::book, P{{0, 0, 0}}, P{{0, 0, 1}}, 3, 1,
            false},
           {"border edge", fixtures::book, P{{1, 0, 0}}, P{{1, 0, 1}}, 1, 1, false},
           {"internal line", fixtures::square_with_fin, P{{1, 0, 0}}, P{{1, 2, 0}}, 2, 1,
            true}}) {
    run_split_case(c);
  }
  using Q = Point<2>;
  for (const auto& c : std::vector<SplitCase<Section>>{
           {"line between regions", fixtures::two_regions, Q{{1, 0}}, Q{{1, 1}}, 2, 1,
            false},
           {"chord", fixtures::two_regions, Q{{0, 0}}, Q{{1, 1}}, 1, 0, true}}) {
    run_split_case(c);
  }
}

TEST(SplitEdge, StaleRecords) {
  auto model = fixtures::two_regions();
  const auto areas = fixtures::surface_areas(model);
  SectionGeometricModifier modifier{model};
  const auto found = find_edge(model, Point<2>{{0, 0}}, Point<2>{{1, 1}});
  const auto& surface = *found.surface;
  const auto& mesh = dynamic_cast<const TriangulatedSurface<2>&>(surface.get_mesh());
  // Off every edge of the triangle: nothing changes.
  const auto off = modifier.split_edge(surface, found.edge, Point<2>{{0.6, 0.3}});
  EXPECT_TRUE(off.surface_splits.empty());
  EXPECT_EQ(fixtures::nb_triangles(model), 4u);
  // On another edge of the triangle than the one named: that edge is split.
  const auto v = mesh.polygon_edge_vertices(
      {found.edge.polygon_id, static_cast<local_index_t>((found.edge.edge_id + 1) % 3)});
  const auto other_midpoint = (mesh.point(v[0]) + mesh.point(v[1])) * 0.5;
  const auto on_other = modifier.split_edge(surface, found.edge, other_midpoint);
  const auto& own = on_other.surface_splits.find(surface.id())->second;
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(mesh.point(own.back().new_vertex), other_midpoint);
  EXPECT_GT(fixtures::nb_triangles(model), 4u);
  expect_valid_with_same_areas(model, areas);
  // At a vertex of the triangle: nothing changes.
  const auto at_vertex =
      modifier.split_edge(surface, {0, 0}, mesh.point(mesh.triangle_vertices(0)[0]));
  EXPECT_TRUE(at_vertex.surface_splits.empty());
}

// Two surfaces on the line y = z = 0 from x = 0 to 2: in A it is the longest edge of its
// triangle, in B the short edge of a tall triangle. Splitting a short edge of A must
// split the line first, and before it B's long edge: the path crosses into B.
TEST(SplitEdge, PropagationCrossesALineAndStaysConforming) {
  fixtures::Soup<3> soup;
  soup.points = {Point<3>{{0, 0, 0}}, Point<3>{{2, 0, 0}}, Point<3>{{1, 0.5, 0}},
                 Point<3>{{1, 0, 3}}};
  soup.triangles = {{0, 1, 2}, {1, 0, 3}};
  soup.patches = {0, 1};
  auto model = fixtures::brep(soup);
  const auto areas = fixtures::surface_areas(model);
  const auto found = find_edge(model, soup.points[0], soup.points[2]);
  ASSERT_NE(found.surface, nullptr);
  BRepGeometricModifier modifier{model};
  const auto point = (soup.points[0] + soup.points[2]) * 0.5;
  const auto result = modifier.split_edge(*found.surface, found.edge, point);

  ASSERT_EQ(result.surface_splits.size(), 2u);
  EXPECT_FALSE(result.line_splits.empty());  // the line was split
  for (const auto& [id, splits] : result.surface_splits) {
    // A: the line, then its own edge; B: its longer edges, then the line.
    EXPECT_GE(splits.size(), 2u) << model.surface(id).name();
  }
  const auto& own = result.surface_splits.find(found.surface->id())->second;
  const auto& mesh =
      dynamic_cast<const TriangulatedSurface<3>&>(found.surface->get_mesh());
  EXPECT_EQ(mesh.point(own.back().new_vertex), point);
  expect_valid_with_same_areas(model, areas);
  // Every triangle of A now has the split edge's halves as its longest edges or shorter.
  EXPECT_GE(fixtures::smallest_angle(model),
            fixtures::smallest_angle(fixtures::brep(soup)) / 2);
}

// The regular octahedron, every edge of length exactly sqrt(2), its top fan listing the
// apex first. Following "not the lowest-index longest edge" from a spoke goes round the
// fan for ever; only strictly longer edges are split first, so the spoke is split at
// once.
TEST(SplitEdge, EqualEdgesAroundAFanSplitAtOnce) {
  fixtures::Soup<3> soup;
  soup.points = {Point<3>{{0, 0, 1}},  Point<3>{{1, 0, 0}},  Point<3>{{0, 1, 0}},
                 Point<3>{{-1, 0, 0}}, Point<3>{{0, -1, 0}}, Point<3>{{0, 0, -1}}};
  for (index_t k = 0; k < 4; ++k) {
    soup.triangles.push_back({0, 1 + k, 1 + (k + 1) % 4});
    soup.triangles.push_back({5, 1 + (k + 1) % 4, 1 + k});
  }
  soup.patches.assign(8, 0);
  auto model = fixtures::brep(soup);
  const auto areas = fixtures::surface_areas(model);
  const auto found = find_edge(model, soup.points[0], soup.points[2]);
  ASSERT_NE(found.surface, nullptr);
  BRepGeometricModifier modifier{model};
  const auto result = modifier.split_edge(*found.surface, found.edge,
                                          (soup.points[0] + soup.points[2]) * 0.5);
  EXPECT_EQ(result.surface_splits.find(found.surface->id())->second.size(), 1u);
  EXPECT_EQ(fixtures::nb_triangles(model), 10u);
  expect_valid_with_same_areas(model, areas);
}

TEST(SplitEdge, BadArgumentsAreRejectedWithoutChange) {
  auto model = fixtures::cube();
  auto other = fixtures::cube();
  BRepGeometricModifier modifier{model};
  const auto& surface = *model.surfaces().begin();
  const Point<3> midpoint{{0.5, 0.5, 0}};
  struct Case {
    const char* name;
    const karvel::Surface<3>* surface;
    PolygonEdge edge;
    Point<3> point;
    const char* message;
  };
  for (const auto& c :
       {Case{"triangle out of range", &surface, {2, 0}, midpoint, "out of range"},
        Case{"local edge 3", &surface, {0, 3}, midpoint, "out of range"},
        Case{"default edge", &surface, PolygonEdge{}, midpoint, "out of range"},
        Case{"other model",
             &*other.surfaces().begin(),
             {0, 0},
             midpoint,
             "is not a surface of this model"},
        Case{"not finite", &surface, {0, 0}, Point<3>{{NAN, 0, 0}}, "is not finite"}}) {
    SCOPED_TRACE(c.name);
    try {
      modifier.split_edge(*c.surface, c.edge, c.point);
      FAIL() << "no exception";
    } catch (const karvel::KarvelException& error) {
      EXPECT_NE(std::string{error.what()}.find(c.message), std::string::npos)
          << error.what();
    }
  }
  EXPECT_EQ(fixtures::nb_triangles(model), 12u);
  EXPECT_EQ(model.nb_unique_vertices(), 8u);
}

template <typename Model>
void split_randomly(Model& model, int splits, unsigned seed) {
  std::mt19937 random{seed};
  Modifier<Model> modifier{model};
  std::vector<uuid> surfaces;
  for (const auto& surface : model.surfaces()) surfaces.push_back(surface.id());
  for (int i = 0; i < splits; ++i) {
    const auto& surface = model.surface(surfaces[random() % surfaces.size()]);
    const auto& mesh =
        dynamic_cast<const TriangulatedSurface<Model::dim>&>(surface.get_mesh());
    const PolygonEdge edge{static_cast<index_t>(random() % mesh.nb_polygons()),
                           static_cast<local_index_t>(random() % 3)};
    const auto v = mesh.polygon_edge_vertices(edge);
    const auto result =
        modifier.split_edge(surface, edge, (mesh.point(v[0]) + mesh.point(v[1])) * 0.5);
    ASSERT_FALSE(result.surface_splits.empty());
  }
}

TEST(SplitEdge, ThousandsOfRandomSplitsStayValid) {
  for (const auto& [name, make] :
       {std::pair{"cube", fixtures::cube}, std::pair{"book", fixtures::book},
        std::pair{"fin", fixtures::square_with_fin}}) {
    SCOPED_TRACE(name);
    auto model = make();
    const auto areas = fixtures::surface_areas(model);
    split_randomly(model, 3000, 42);
    expect_valid_with_same_areas(model, areas);
    const auto triangles = fixtures::nb_triangles(model);
    const auto unique_vertices = model.nb_unique_vertices();
    BRepGeometricModifier modifier{model};
    modifier.clean_edges_lines();
    modifier.clean_triangles_surfaces();
    EXPECT_EQ(fixtures::nb_triangles(model), triangles);
    EXPECT_EQ(model.nb_unique_vertices(), unique_vertices);
    expect_valid_with_same_areas(model, areas);
  }
  auto section = fixtures::two_regions();
  const auto areas = fixtures::surface_areas(section);
  split_randomly(section, 3000, 7);
  expect_valid_with_same_areas(section, areas);
}

}  // namespace
}  // namespace hollent
