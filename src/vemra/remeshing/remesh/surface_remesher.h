#pragma once

// One surface, remeshed on its own: rounds of split (longest edges first, line edges
// bisected as their line was), collapse (the input line vertices that the line drops go
// first, along the line), flip and tangential smoothing (vertices projected back onto
// the input surface) bring the edges to the size. Line vertices never move; crease
// vertices slide along their crease by splits and collapses only.

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "closest_point.h"
#include "vec3.h"

namespace vemra::remesher {

// What an output vertex stands for in the model: a new vertex of its own, a new vertex
// of a line (line, point), or an input line vertex that the surface could not drop
// (line, chain index): the line must keep it.
struct Tie {
  enum Kind : std::uint8_t { own, line_point, kept_line_vertex };
  Kind kind{own};
  index_t line{0};
  index_t index{0};
};

struct SurfaceInput {
  std::vector<Vec3> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<std::array<index_t, 3>> beside;  // across each edge, or NO_ID
  // An edge of the surface on a line, from `from` to `to` in the line's direction, and
  // the line's new vertices inside it, by increasing t.
  struct LineEdge {
    index_t from, to, line;
    std::vector<std::pair<double, Tie>> points;
  };
  std::vector<LineEdge> line_edges;
  // Surface vertices on lines: those the line keeps (a line point), and those it drops
  // (kept_line_vertex: what to keep if the surface cannot drop it).
  std::vector<std::pair<index_t, Tie>> line_vertices;
  // Vertices that stay where they are: where the surface touches itself, whose fans a
  // collapse or a move would part.
  std::vector<index_t> fixed_vertices;
};

struct SurfaceOutput {
  std::vector<Vec3> points;
  std::vector<Tie> ties;
  std::vector<index_t> input_vertices;  // the input vertex each point was, or NO_ID
  std::vector<std::array<index_t, 3>> triangles;
};

struct SurfaceSettings {
  int iterations{5};
  double feature_angle{40.0};            // degrees
  const ClosestPoint* surface{nullptr};  // none for a section: points stay in the plane
  std::function<double(const Vec3&)> size;
  // The new vertex of `line` at a midpoint that bisecting it made, or NO_ID.
  std::function<index_t(index_t line, const Vec3& midpoint)> line_midpoint;
};

// Throws what `size` throws.
SurfaceOutput remesh_surface(const SurfaceInput& input, const SurfaceSettings& settings);

}  // namespace vemra::remesher
