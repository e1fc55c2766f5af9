#include "surface_pieces.h"

#include <algorithm>
#include <utility>

namespace vemra::remesher {

using karvel::NO_ID;

std::vector<PieceMesh> split_into_pieces(
    const std::vector<Vec3>& points, const std::vector<std::array<index_t, 3>>& triangles,
    const std::vector<std::array<index_t, 3>>& beside,
    std::vector<std::vector<index_t>> regions) {
  std::vector<index_t> region_of(triangles.size(), NO_ID);
  std::vector<index_t> position(triangles.size(), NO_ID);
  for (index_t r = 0; r < regions.size(); ++r) {
    for (index_t i = 0; i < regions[r].size(); ++i) {
      region_of[regions[r][i]] = r;
      position[regions[r][i]] = i;
    }
  }
  // Reset after each region: the work is linear in the surface, whatever the regions.
  std::vector<index_t> number(points.size(), NO_ID);
  std::vector<PieceMesh> pieces(regions.size());
  for (index_t r = 0; r < regions.size(); ++r) {
    PieceMesh& piece = pieces[r];
    piece.triangles = std::move(regions[r]);
    for (const index_t t : piece.triangles) {
      for (const index_t v : triangles[t]) {
        if (number[v] == NO_ID) piece.vertices.push_back(v);
        number[v] = 0;
      }
    }
    std::sort(piece.vertices.begin(), piece.vertices.end());
    piece.vertices.shrink_to_fit();
    piece.points.reserve(piece.vertices.size());
    piece.corners.reserve(piece.triangles.size());
    piece.beside.reserve(piece.triangles.size());
    for (index_t i = 0; i < piece.vertices.size(); ++i) {
      number[piece.vertices[i]] = i;
      piece.points.push_back(points[piece.vertices[i]]);
    }
    for (const index_t t : piece.triangles) {
      const auto& v = triangles[t];
      piece.corners.push_back({number[v[0]], number[v[1]], number[v[2]]});
      std::array<index_t, 3> across{NO_ID, NO_ID, NO_ID};
      for (int e = 0; e < 3; ++e) {
        const index_t u = beside[t][e];
        if (u != NO_ID && region_of[u] == r) across[e] = position[u];
      }
      piece.beside.push_back(across);
    }
    for (const index_t v : piece.vertices) number[v] = NO_ID;
  }
  return pieces;
}

}  // namespace vemra::remesher
