#pragma once

// Small models shared by the tests, each named for what it exercises.

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/model/from_patches.h>
#include <karvel/model/model_builder.h>

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

// The cube with, after its six faces, a surface without triangles and a polygonal one.
inline karvel::BRep cube_with_odd_surfaces() {
  auto model = cube();
  karvel::BRepBuilder builder{model};
  builder.add_surface();  // no triangles
  const auto polygonal = builder.add_surface(karvel::SurfaceMeshType::polygonal);
  auto mesh = builder.polygonal_surface_builder(polygonal);
  for (int i = 0; i < 4; ++i) {
    mesh.create_point(karvel::Point<3>{{double(i % 2), double(i / 2), 5}});
  }
  mesh.create_polygon(std::vector<index_t>{0, 1, 3, 2});
  return model;
}

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

// The unit sphere from an icosahedron whose faces are split in four `levels` times:
// 20 * 4^levels triangles, one patch, outward orientation.
inline Soup<3> icosphere_soup(int levels) {
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

// Pinched vertices: patches whose triangles touch at single vertices.

// Two triangles of one patch touching at vertex 2.
template <index_t D>
Soup<D> bowtie_soup() {
  Soup<D> soup;
  for (const auto& [x, y] :
       std::vector<std::array<double, 2>>{{0, 0}, {1, 0}, {0.5, 0.5}, {1, 1}, {0, 1}}) {
    std::array<double, D> values{};
    values[0] = x;
    values[1] = y;
    soup.points.emplace_back(values);
  }
  soup.triangles = {{0, 1, 2}, {2, 3, 4}};
  soup.patches = {0, 0};
  return soup;
}

// A unit cube of one patch, each face a grid of n x n cells, each cell two triangles.
inline Soup<3> one_patch_cube_soup(int n) {
  Soup<3> soup;
  // Each face from its corner and two edge directions, outward.
  const std::array<std::array<std::array<long, 3>, 3>, 6> faces{
      {{{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}},
       {{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}},
       {{{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}},
       {{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}},
       {{{0, 0, 0}, {0, 0, 1}, {0, 1, 0}}},
       {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}}};
  // Points by their place on the lattice of the cells, shared by the faces.
  absl::flat_hash_map<std::array<long, 3>, index_t> welded;
  for (const auto& [o, u, v] : faces) {
    std::vector<index_t> grid;
    for (long j = 0; j <= n; ++j) {
      for (long i = 0; i <= n; ++i) {
        std::array<long, 3> key{};
        for (int axis = 0; axis < 3; ++axis) {
          key[axis] = o[axis] * n + u[axis] * i + v[axis] * j;
        }
        const auto [place, added] =
            welded.try_emplace(key, static_cast<index_t>(soup.points.size()));
        if (added) {
          soup.points.push_back(karvel::Point<3>{
              {double(key[0]) / n, double(key[1]) / n, double(key[2]) / n}});
        }
        grid.push_back(place->second);
      }
    }
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const index_t a = grid[j * (n + 1) + i], b = grid[j * (n + 1) + i + 1];
        const index_t c = grid[(j + 1) * (n + 1) + i + 1],
                      d = grid[(j + 1) * (n + 1) + i];
        soup.triangles.push_back({a, b, c});
        soup.triangles.push_back({a, c, d});
      }
    }
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

// Two open cones of one patch meeting at their apex (vertex 0).
inline Soup<3> two_cones_soup() {
  constexpr index_t segments = 8;
  Soup<3> soup;
  soup.points.emplace_back(std::array<double, 3>{0, 0, 0});
  for (const double z : {1.0, -1.0}) {
    const index_t ring = static_cast<index_t>(soup.points.size());
    for (index_t i = 0; i < segments; ++i) {
      const double angle = 2 * M_PI * i / segments;
      soup.points.emplace_back(
          std::array<double, 3>{std::cos(angle), std::sin(angle), z});
    }
    for (index_t i = 0; i < segments; ++i) {
      soup.triangles.push_back({0, ring + i, ring + (i + 1) % segments});
    }
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

// A mesh cut into labelled patches: the icosphere of 1,280 triangles in two patches that
// alternate in sectors of longitude (each a third of a radian wide) by each triangle's
// centroid. Where the cuts zigzag, a patch touches itself at single vertices.
inline Soup<3> icosphere_sectors_soup() {
  auto soup = icosphere_soup(3);
  for (std::size_t t = 0; t < soup.triangles.size(); ++t) {
    double x = 0, y = 0;
    for (const index_t v : soup.triangles[t]) {
      x += soup.points[v].value(0);
      y += soup.points[v].value(1);
    }
    soup.patches[t] = static_cast<index_t>((std::atan2(y, x) + M_PI) * 3) % 2;
  }
  return soup;
}

// The grid of grid_soup in two patches, alternating in blocks of `block` x `block` cells
// like a chessboard: each patch touches itself at the blocks' corners.
template <index_t D>
Soup<D> checkerboard_soup(index_t n, index_t block) {
  auto soup = grid_soup<D>(n);
  for (std::size_t t = 0; t < soup.triangles.size(); ++t) {
    const index_t cell = static_cast<index_t>(t / 2);
    soup.patches[t] = ((cell % n) / block + (cell / n) / block) % 2;
  }
  return soup;
}

}  // namespace fixtures
