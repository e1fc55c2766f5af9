#pragma once

// Triangle soups for the benchmarks: a regular grid, an icosphere, a cube and a gear of
// one patch.

#include <cmath>
#include <vector>

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
// 20 * 4^levels triangles, one patch: the tests' icosphere.
inline Soup<3> icosphere(int levels) { return fixtures::icosphere_soup(levels); }

// The unit cube of one patch, each face n x n cells of two triangles: the tests' cube.
inline Soup<3> cube(int n) { return fixtures::one_patch_cube_soup(n); }

// A machined part of one patch, as a modeller tessellates one: a 12-tooth gear, a prism
// 0.5 high over an outline of radius 0.8 to 1. Each cap fans from its centre in 12 rings
// (192 slivers round the centre), each side face is 8 rows; every edge of the outline
// and every rim is a sharp crease, the sides' cells are 1 : 1.6 to 1 : 2.3. 11,904
// triangles.
inline Soup<3> gear() {
  constexpr int teeth = 12, cuts = 4, rings = 12, rows = 8;
  constexpr double height = 0.5;
  std::vector<std::array<double, 2>> corners;  // of the outline, anticlockwise
  for (int i = 0; i < teeth; ++i) {
    for (const auto& [along, radius] : {std::pair{0.0, 0.8}, std::pair{0.2, 1.0},
                                        std::pair{0.5, 1.0}, std::pair{0.7, 0.8}}) {
      const double angle = 2 * M_PI * (i + along) / teeth;
      corners.push_back({radius * std::cos(angle), radius * std::sin(angle)});
    }
  }
  std::vector<std::array<double, 2>> outline;  // each edge of the corners cut in four
  for (std::size_t k = 0; k < corners.size(); ++k) {
    const auto& a = corners[k];
    const auto& b = corners[(k + 1) % corners.size()];
    for (int c = 0; c < cuts; ++c) {
      const double t = double(c) / cuts;
      outline.push_back({a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t});
    }
  }
  const auto n = static_cast<index_t>(outline.size());
  Soup<3> soup;
  const auto point = [&soup](double x, double y, double z) {
    soup.points.push_back(karvel::Point<3>{{x, y, z}});
  };
  // The sides' points, row by row: row 0 is the bottom cap's rim, row `rows` the top's.
  for (int j = 0; j <= rows; ++j) {
    for (const auto& p : outline) point(p[0], p[1], height * j / rows);
  }
  const auto side = [n](index_t i, int j) { return index_t(j) * n + i % n; };
  for (index_t i = 0; i < n; ++i) {
    for (int j = 0; j < rows; ++j) {
      soup.triangles.push_back({side(i, j), side(i + 1, j), side(i + 1, j + 1)});
      soup.triangles.push_back({side(i, j), side(i + 1, j + 1), side(i, j + 1)});
    }
  }
  for (const bool top : {false, true}) {
    const double z = top ? height : 0;
    const auto centre = static_cast<index_t>(soup.points.size());
    point(0, 0, z);
    for (int j = 1; j < rings; ++j) {
      for (const auto& p : outline) point(p[0] * j / rings, p[1] * j / rings, z);
    }
    // Ring j of the cap, j = rings being the rim.
    const auto ring = [&](int j, index_t i) {
      return j == rings ? side(i, top ? rows : 0)
                        : centre + 1 + index_t(j - 1) * n + i % n;
    };
    const auto triangle = [&](index_t a, index_t b, index_t c) {
      soup.triangles.push_back(top ? std::array<index_t, 3>{a, b, c}
                                   : std::array<index_t, 3>{a, c, b});
    };
    for (index_t i = 0; i < n; ++i) {
      triangle(centre, ring(1, i), ring(1, i + 1));
      for (int j = 1; j < rings; ++j) {
        triangle(ring(j, i), ring(j + 1, i), ring(j + 1, i + 1));
        triangle(ring(j, i), ring(j + 1, i + 1), ring(j, i + 1));
      }
    }
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

}  // namespace bench
