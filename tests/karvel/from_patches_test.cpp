#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <karvel/basic/exception.h>
#include <karvel/mesh/triangulated_surface.h>

#include "fixtures.h"

namespace karvel {
namespace {

template <typename Model>
const Surface<Model::dim>& surface_named(const Model& model, const std::string& name) {
  for (const auto& surface : model.surfaces()) {
    if (surface.name() == name) return surface;
  }
  throw KarvelException{"no surface " + name};
}

TEST(FromPatches, InfersComponentsOfEachFixture) {
  struct Case {
    const char* name;
    fixtures::Soup<3> soup;
    index_t surfaces, lines, corners, unique_vertices;
  };
  for (const auto& c :
       {Case{"cube", fixtures::cube_soup(), 6, 12, 8, 8},
        Case{"book", fixtures::book_soup(), 3, 4, 2, 8},
        Case{"square with fin", fixtures::square_with_fin_soup(), 2, 4, 2, 8}}) {
    SCOPED_TRACE(c.name);
    const auto model = fixtures::brep(c.soup);
    EXPECT_EQ(model.nb_surfaces(), c.surfaces);
    EXPECT_EQ(model.nb_lines(), c.lines);
    EXPECT_EQ(model.nb_corners(), c.corners);
    EXPECT_EQ(model.nb_blocks(), 0u);
    EXPECT_EQ(model.nb_unique_vertices(), c.unique_vertices);
    index_t triangles = 0;
    for (const auto& surface : model.surfaces())
      triangles += surface.get_mesh().nb_polygons();
    EXPECT_EQ(triangles, c.soup.triangles.size());
    // Every line has two corners as boundaries (one, for a closed loop) and each of its
    // vertices is tied to a vertex of every surface it bounds.
    for (const auto& line : model.lines()) {
      EXPECT_GE(model.boundaries(line.id()).size(), 1u);
      EXPECT_LE(model.boundaries(line.id()).size(), 2u);
      const index_t slot = model.component_slot(line.id());
      for (index_t v = 0; v < line.mesh().nb_vertices(); ++v) {
        const index_t unique = model.unique_vertex(slot, v);
        for (const auto& incidence : model.incidences(line.id())) {
          EXPECT_NE(model.vertex_in_slot(unique, model.component_slot(incidence.id)),
                    NO_ID);
        }
      }
    }
  }
}

TEST(FromPatches, CubeEdgesBoundTwoFacesAndCornersBoundThreeEdges) {
  const auto cube = fixtures::cube();
  for (const auto& line : cube.lines()) {
    EXPECT_EQ(line.mesh().nb_edges(), 1u);
    EXPECT_EQ(cube.incidences(line.id()).size(), 2u);
    EXPECT_TRUE(cube.internals(line.id()).empty());
  }
  for (const auto& corner : cube.corners()) {
    EXPECT_EQ(cube.incidences(corner.id()).size(), 3u);
    EXPECT_EQ(cube.component_mesh_vertices(cube.unique_vertex({corner.component_id(), 0}))
                  .size(),
              7u);  // the corner, three lines and three surfaces
  }
  for (const auto& surface : cube.surfaces()) {
    EXPECT_EQ(cube.boundaries(surface.id()).size(), 4u);
  }
}

TEST(FromPatches, BookSpineBoundsThreePages) {
  const auto book = fixtures::book();
  index_t spines = 0;
  for (const auto& line : book.lines()) {
    if (book.incidences(line.id()).size() == 3)
      ++spines;
    else
      EXPECT_EQ(line.mesh().nb_edges(), 3u);  // the outer border of one page
  }
  EXPECT_EQ(spines, 1u);
}

TEST(FromPatches, FinLineLiesInsideTheSquareAndBoundsTheFin) {
  const auto model = fixtures::square_with_fin();
  const auto& square = surface_named(model, "patch 0");
  const auto& fin = surface_named(model, "patch 1");
  ASSERT_EQ(model.internals(square.id()).size(), 1u);
  const auto middle = model.internals(square.id())[0];
  EXPECT_EQ(middle.type, ComponentType::line);
  EXPECT_TRUE(model.is_boundary(middle.id, fin.id()));
  EXPECT_EQ(model.boundaries(square.id()).size(), 2u);
  EXPECT_EQ(model.boundaries(fin.id()).size(), 2u);
}

TEST(FromPatches, SectionOfTwoRegions) {
  const auto section = fixtures::two_regions();
  EXPECT_EQ(section.nb_surfaces(), 2u);
  EXPECT_EQ(section.nb_lines(), 3u);
  EXPECT_EQ(section.nb_corners(), 2u);
  index_t shared = 0;
  for (const auto& line : section.lines()) {
    if (section.incidences(line.id()).size() == 2) ++shared;
  }
  EXPECT_EQ(shared, 1u);
}

TEST(FromPatches, ClosedLoopGetsOneCorner) {
  // A single square patch: its whole border is one closed line.
  fixtures::Soup<2> soup;
  soup.points = {Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{1, 1}}, Point<2>{{0, 1}}};
  soup.triangles = {{0, 1, 2}, {0, 2, 3}};
  soup.patches = {7, 7};
  const auto section = fixtures::section(soup);
  ASSERT_EQ(section.nb_lines(), 1u);
  EXPECT_EQ(section.nb_corners(), 1u);
  const auto& line = *section.lines().begin();
  EXPECT_EQ(line.mesh().nb_edges(), 4u);
  EXPECT_EQ(line.mesh().nb_vertices(), 4u);
  EXPECT_EQ((*section.surfaces().begin()).name(), "patch 7");
}

TEST(FromPatches, BadInputNamesTheElement) {
  const double inf = INFINITY;
  struct Case {
    const char* name;
    fixtures::Soup<3> soup;
    const char* message;
  };
  auto base = fixtures::book_soup();
  auto sizes = base;
  sizes.patches.pop_back();
  auto range = base;
  range.triangles[3][1] = 99;
  auto repeated = base;
  repeated.triangles[2] = {2, 3, 2};
  auto non_finite = base;
  non_finite.points[5].set_value(1, inf);
  auto flipped = base;
  std::swap(flipped.triangles[1][0], flipped.triangles[1][1]);
  auto non_manifold = base;
  non_manifold.patches = {0, 0, 0, 0, 0, 0};
  // One triangle and its reverse: a surface of no area that refining used to crash on.
  fixtures::Soup<3> pillow;
  pillow.points = {Point<3>{{0, 0, 0}}, Point<3>{{1, 0, 0}}, Point<3>{{1, 1, 0}}};
  pillow.triangles = {{0, 1, 2}, {0, 2, 1}};
  pillow.patches = {0, 0};
  for (const auto& c :
       {Case{"sizes differ", sizes, "6 triangles but 5 patch values"},
        Case{"index out of range", range,
             "Triangle 3 uses vertex 99, but there are 8 points"},
        Case{"repeated vertex", repeated, "Triangle 2 repeats a vertex (2, 3, 2)"},
        Case{"not finite", non_finite, "Point 5 has a coordinate that is not finite"},
        Case{"flipped", flipped, "triangles 0 and 1 are not consistently oriented"},
        Case{"non-manifold", non_manifold, "is used by more than two triangles"},
        Case{"repeated triangle", pillow,
             "In patch 0, triangles 0 and 1 have the same three vertices"}}) {
    SCOPED_TRACE(c.name);
    try {
      fixtures::brep(c.soup);
      FAIL() << "no exception";
    } catch (const KarvelException& error) {
      EXPECT_NE(std::string{error.what()}.find(c.message), std::string::npos)
          << error.what();
      EXPECT_EQ(std::string{error.what()}.rfind("[brep_from_patches]", 0), 0u);
    }
  }
}

}  // namespace
}  // namespace karvel
