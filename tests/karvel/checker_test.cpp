#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <karvel/model/checker.h>
#include <karvel/model/model_builder.h>

#include "fixtures.h"

namespace karvel {
namespace {

// One surface of the given triangles over the corners of the unit square and its centre
// (vertex 4), every vertex
// tied to a model vertex, the triangles left unlinked unless `link`; no lines.
Section square_surface(const std::vector<std::array<index_t, 3>>& triangles, bool link) {
  Section model;
  SectionBuilder builder{model};
  const auto id = builder.add_surface();
  const index_t slot = builder.component_slot({ComponentType::surface, id});
  const index_t first = builder.create_unique_vertices(5);
  auto mesh = builder.triangulated_surface_builder(id);
  index_t mesh_vertices = 0;
  for (const auto& p : {Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{1, 1}},
                        Point<2>{{0, 1}}, Point<2>{{0.5, 0.5}}}) {
    builder.set_unique_vertex(slot, mesh.create_point(p), first + mesh_vertices++);
  }
  for (const auto& t : triangles) mesh.create_triangle(t);
  if (link) mesh.compute_triangle_adjacencies();
  return model;
}

bool names(const ModelCheckReport& report, const std::string& words) {
  for (const auto& problem : report.problems) {
    if (problem.find(words) != std::string::npos) return true;
  }
  return false;
}

TEST(Checker, FindsLinksThatAreMissingOrWrongAndPinchedFans) {
  struct Case {
    const char* name;
    std::vector<std::array<index_t, 3>> triangles;
    bool link;
    std::string words;  // empty: no problem with the links
  };
  for (const auto& c :
       std::vector<Case>{{"linked square", {{0, 1, 2}, {0, 2, 3}}, true, ""},
                         {"shared edge left unlinked",
                          {{0, 1, 2}, {0, 2, 3}},
                          false,
                          "is not linked to triangle"},
                         {"same direction",
                          {{0, 1, 2}, {0, 3, 2}},
                          false,
                          "are not consistently oriented"},
                         {"a third triangle on an edge",
                          {{0, 1, 2}, {0, 2, 3}, {2, 0, 3}},
                          false,
                          "is not linked to triangle"},
                         {"two fans at one vertex",
                          {{4, 0, 1}, {4, 2, 3}},
                          true,
                          "vertex 4 joins 2 triangles in more than one fan"}}) {
    SCOPED_TRACE(c.name);
    const auto report = check_model(square_surface(c.triangles, c.link));
    if (c.words.empty()) {
      // Its borders are on no line, which is all that is wrong with it.
      EXPECT_FALSE(names(report, "link") || names(report, "oriented") ||
                   names(report, "fan"))
          << report.text();
    } else {
      EXPECT_TRUE(names(report, c.words)) << report.text();
    }
  }
}

}  // namespace
}  // namespace karvel
