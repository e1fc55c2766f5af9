#pragma once

// The regions of a surface as meshes of their own, so that each can be remeshed on its
// own: vertices numbered compactly, in the surface's order (a surface of one region keeps
// its numbers), neighbours in another region counted as across the border.

#include <array>
#include <vector>

#include "vec3.h"

namespace vemra::remesher {

struct PieceMesh {
  std::vector<index_t> vertices;   // the surface's vertex of each, increasing
  std::vector<index_t> triangles;  // the surface's triangle of each, increasing
  std::vector<Vec3> points;
  std::vector<std::array<index_t, 3>> corners;  // in the piece's vertex numbers
  std::vector<std::array<index_t, 3>> beside;   // across each edge, or NO_ID
};

// `regions`: the surface's triangles of each, increasing, every triangle in one.
std::vector<PieceMesh> split_into_pieces(
    const std::vector<Vec3>& points, const std::vector<std::array<index_t, 3>>& triangles,
    const std::vector<std::array<index_t, 3>>& beside,
    std::vector<std::vector<index_t>> regions);

}  // namespace vemra::remesher
