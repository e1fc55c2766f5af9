#pragma once

// Small models shared by the tests, each named for what it exercises.

#include <array>
#include <vector>

#include <karvel/model/from_patches.h>

namespace fixtures {

using karvel::index_t;

template <index_t D>
struct Soup {
  std::vector<karvel::Point<D>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> patches;
};

// The unit cube, one patch per face: 6 surfaces, 12 lines, 8 corners.
inline Soup<3> cube_soup() {
  Soup<3> soup;
  for (index_t i = 0; i < 8; ++i) {
    soup.points.emplace_back(
        std::array<double, 3>{double(i & 1), double((i >> 1) & 1), double((i >> 2) & 1)});
  }
  soup.triangles = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                    {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
  soup.patches = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5};
  return soup;
}

// Three square pages sharing one spine edge: a line bounding three surfaces.
inline Soup<3> book_soup() {
  Soup<3> soup;
  soup.points = {karvel::Point<3>{{0, 0, 0}}, karvel::Point<3>{{0, 0, 1}}};
  const std::array<std::array<double, 2>, 3> directions{
      {{1, 0}, {0, 1}, {-0.70710678118654752, -0.70710678118654752}}};
  for (index_t page = 0; page < 3; ++page) {
    const auto& d = directions[page];
    const index_t a0 = static_cast<index_t>(soup.points.size());
    soup.points.emplace_back(std::array<double, 3>{d[0], d[1], 0});
    soup.points.emplace_back(std::array<double, 3>{d[0], d[1], 1});
    soup.triangles.push_back({0, a0, a0 + 1});
    soup.triangles.push_back({0, a0 + 1, 1});
    soup.patches.insert(soup.patches.end(), {page, page});
  }
  return soup;
}

// A square (z = 0, split along x = 1) with a fin standing on its middle line: that line
// lies inside the square and bounds the fin.
inline Soup<3> square_with_fin_soup() {
  Soup<3> soup;
  soup.points = {karvel::Point<3>{{0, 0, 0}}, karvel::Point<3>{{1, 0, 0}},
                 karvel::Point<3>{{2, 0, 0}}, karvel::Point<3>{{0, 2, 0}},
                 karvel::Point<3>{{1, 2, 0}}, karvel::Point<3>{{2, 2, 0}},
                 karvel::Point<3>{{1, 0, 1}}, karvel::Point<3>{{1, 2, 1}}};
  soup.triangles = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}, {4, 1, 6}, {4, 6, 7}};
  soup.patches = {0, 0, 0, 0, 1, 1};
  return soup;
}

// A 2 x 1 rectangle of two regions sharing the line x = 1.
inline Soup<2> two_regions_soup() {
  Soup<2> soup;
  soup.points = {karvel::Point<2>{{0, 0}}, karvel::Point<2>{{1, 0}},
                 karvel::Point<2>{{2, 0}}, karvel::Point<2>{{0, 1}},
                 karvel::Point<2>{{1, 1}}, karvel::Point<2>{{2, 1}}};
  soup.triangles = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}};
  soup.patches = {0, 0, 1, 1};
  return soup;
}

inline karvel::BRep brep(const Soup<3>& soup) {
  return karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
}
inline karvel::Section section(const Soup<2>& soup) {
  return karvel::section_from_patches(soup.points, soup.triangles, soup.patches);
}

inline karvel::BRep cube() { return brep(cube_soup()); }
inline karvel::BRep book() { return brep(book_soup()); }
inline karvel::BRep square_with_fin() { return brep(square_with_fin_soup()); }
inline karvel::Section two_regions() { return section(two_regions_soup()); }

// The 3-D fixtures by name, for tests that run on each of them.
struct NamedBRep {
  const char* name;
  karvel::BRep (*make)();
};
inline std::vector<NamedBRep> brep_fixtures() {
  return {{"cube", cube}, {"book", book}, {"square with fin", square_with_fin}};
}

// A regular n x n grid of the unit square in one patch, each cell cut along the same
// diagonal: many equal edge lengths.
template <index_t D>
Soup<D> grid_soup(index_t n) {
  Soup<D> soup;
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      std::array<double, D> values{};
      values[0] = double(i) / n;
      values[1] = double(j) / n;
      soup.points.emplace_back(values);
    }
  }
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t v = j * (n + 1) + i;
      soup.triangles.push_back({v, v + 1, v + n + 2});
      soup.triangles.push_back({v, v + n + 2, v + n + 1});
    }
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

}  // namespace fixtures
