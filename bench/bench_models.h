#pragma once

// Triangle soups for the benchmarks: a regular grid and an icosphere.

#include <array>
#include <cmath>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/geometry/point.h>

#include "fixtures.h"

namespace bench {

using karvel::index_t;

template <index_t D>
using Soup = fixtures::Soup<D>;

// The unit square cut into n x n cells of two triangles, one patch: the tests' grid.
template <index_t D>
Soup<D> grid(index_t n) {
  return fixtures::grid_soup<D>(n);
}

// The unit sphere from an icosahedron whose faces are split in four `levels` times:
// 20 * 4^levels triangles, one patch, outward orientation.
inline Soup<3> icosphere(int levels) {
  const double t = (1.0 + std::sqrt(5.0)) / 2.0;
  std::vector<std::array<double, 3>> points{
      {-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
      {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  std::vector<std::array<index_t, 3>> triangles{
      {0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
      {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
      {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  const auto normalized = [](std::array<double, 3> p) {
    const double norm = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    return std::array<double, 3>{p[0] / norm, p[1] / norm, p[2] / norm};
  };
  for (auto& p : points) p = normalized(p);
  for (int level = 0; level < levels; ++level) {
    absl::flat_hash_map<std::uint64_t, index_t> middles;
    const auto middle = [&](index_t a, index_t b) {
      const std::uint64_t key = (std::uint64_t(std::min(a, b)) << 32) | std::max(a, b);
      const auto [found, inserted] = middles.emplace(key, index_t(points.size()));
      if (inserted) {
        points.push_back(normalized({(points[a][0] + points[b][0]) / 2,
                                     (points[a][1] + points[b][1]) / 2,
                                     (points[a][2] + points[b][2]) / 2}));
      }
      return found->second;
    };
    std::vector<std::array<index_t, 3>> finer;
    for (const auto& [a, b, c] : triangles) {
      const index_t ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
      finer.insert(finer.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}, {ab, bc, ca}});
    }
    triangles = std::move(finer);
  }
  Soup<3> soup;
  for (const auto& p : points) soup.points.emplace_back(p);
  soup.triangles = std::move(triangles);
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

}  // namespace bench
