#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <karvel/model/checker.h>
#include <karvel/model/from_patches.h>
#include <vemra/remesh.h>
#include <vemra/remeshing/model_kind.h>
#include <vemra/remeshing/remeshing_data.h>

#include "fixtures.h"
#include "model_measures.h"
#include "named_models.h"
#include "test_metrics.h"

namespace vemra {
namespace {

using fixtures::ConstantMetric;
using fixtures::GradedMetric;
using karvel::BRep;
using karvel::index_t;
using karvel::Section;

using fixtures::NamedModel;

// A unit cube of one patch, each face a grid of 4 x 4 cells: its edges are creases.
BRep one_patch_cube() { return fixtures::brep(fixtures::one_patch_cube_soup(4)); }

// A unit square of one patch folded up at a right angle along x = 1/2: its crease ends
// on its border, a line.
BRep folded_sheet() {
  auto soup = fixtures::grid_soup<3>(8);
  for (auto& point : soup.points) {
    const double x = point.value(0), y = point.value(1);
    point = karvel::Point<3>{{std::min(x, 0.5), y, std::max(x - 0.5, 0.0)}};
  }
  return fixtures::brep(soup);
}

// A closed cylinder of one patch (radius 0.5, height 1, 16 sides): its creases are two
// loops that meet nothing.
BRep capped_cylinder() {
  fixtures::Soup<3> soup;
  const index_t around = 16, along = 4;
  for (index_t j = 0; j <= along; ++j) {
    for (index_t i = 0; i < around; ++i) {
      const double angle = 2 * M_PI * i / around;
      soup.points.push_back(karvel::Point<3>{
          {0.5 * std::cos(angle), 0.5 * std::sin(angle), double(j) / along}});
    }
  }
  const index_t bottom = static_cast<index_t>(soup.points.size());
  soup.points.push_back(karvel::Point<3>{{0, 0, 0}});
  soup.points.push_back(karvel::Point<3>{{0, 0, 1}});
  const auto at = [around](index_t i, index_t j) { return j * around + i % around; };
  for (index_t i = 0; i < around; ++i) {
    for (index_t j = 0; j < along; ++j) {
      soup.triangles.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      soup.triangles.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
    soup.triangles.push_back({bottom, at(i + 1, 0), at(i, 0)});
    soup.triangles.push_back({bottom + 1, at(i, along), at(i + 1, along)});
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return fixtures::brep(soup);
}

// A unit disk of one patch tessellated as a modeller caps a cylinder: 192 spokes from its
// centre (slivers of 1.9 degrees there), cut by `rings` rings. The centre must coarsen
// through collapses that leave triangles thinner than a fresh collapse may make, yet no
// thinner than the fan was.
BRep tessellated_disk(index_t rings) {
  fixtures::Soup<3> soup;
  const index_t spokes = 192;
  soup.points.push_back(karvel::Point<3>{{0, 0, 0}});
  for (index_t j = 1; j <= rings; ++j) {
    for (index_t i = 0; i < spokes; ++i) {
      const double angle = 2 * M_PI * i / spokes, radius = double(j) / rings;
      soup.points.push_back(
          karvel::Point<3>{{radius * std::cos(angle), radius * std::sin(angle), 0}});
    }
  }
  const auto at = [](index_t j, index_t i) { return 1 + (j - 1) * spokes + i % spokes; };
  for (index_t i = 0; i < spokes; ++i) {
    soup.triangles.push_back({0, at(1, i), at(1, i + 1)});
    for (index_t j = 1; j < rings; ++j) {
      soup.triangles.push_back({at(j, i), at(j + 1, i), at(j + 1, i + 1)});
      soup.triangles.push_back({at(j, i), at(j + 1, i + 1), at(j, i + 1)});
    }
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return fixtures::brep(soup);
}

std::vector<NamedModel<BRep>> breps() {
  return {{"cube", fixtures::cube, 0.1},
          {"book", fixtures::book, 0.1},
          {"square with fin", fixtures::square_with_fin, 0.1},
          {"icosphere", [] { return fixtures::brep(fixtures::icosphere_soup(3)); }, 0.08},
          {"fine icosphere (coarsened)",
           [] { return fixtures::brep(fixtures::icosphere_soup(5)); }, 0.1},
          {"icosphere sectors",
           [] { return fixtures::brep(fixtures::icosphere_sectors_soup()); }, 0.1},
          {"checkerboard",
           [] { return fixtures::brep(fixtures::checkerboard_soup<3>(12, 3)); }, 0.03},
          {"bowtie", [] { return fixtures::brep(fixtures::bowtie_soup<3>()); }, 0.05},
          {"two cones", [] { return fixtures::brep(fixtures::two_cones_soup()); }, 0.1},
          {"cube of one patch", one_patch_cube, 0.1},
          {"folded sheet", folded_sheet, 0.05},
          {"capped cylinder", capped_cylinder, 0.1},
          {"disk of slivers", [] { return tessellated_disk(1); }, 0.03}};
}

std::vector<NamedModel<Section>> sections() {
  return {
      {"two regions", fixtures::two_regions, 0.1},
      {"bowtie", [] { return fixtures::section(fixtures::bowtie_soup<2>()); }, 0.05},
      {"checkerboard",
       [] { return fixtures::section(fixtures::checkerboard_soup<2>(12, 3)); }, 0.03}};
}

// Runs `body(named model)` over the fixtures of both kinds.
template <typename Body>
void for_each_fixture(Body body) {
  fixtures::for_each_named(breps(), sections(), body);
}

template <index_t D>
const karvel::TriangulatedSurface<D>& triangulated(const karvel::Surface<D>& surface) {
  return dynamic_cast<const karvel::TriangulatedSurface<D>&>(surface.get_mesh());
}

template <index_t D>
std::array<double, 3> xyz(const karvel::Point<D>& p) {
  std::array<double, 3> v{0, 0, 0};
  for (index_t axis = 0; axis < D; ++axis) v[axis] = p.value(axis);
  return v;
}

double length(const std::array<double, 3>& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}
std::array<double, 3> minus(const std::array<double, 3>& a,
                            const std::array<double, 3>& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double dot(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double segment_distance(const std::array<double, 3>& p, const std::array<double, 3>& a,
                        const std::array<double, 3>& b) {
  const auto ab = minus(b, a);
  const double t = std::clamp(dot(minus(p, a), ab) / dot(ab, ab), 0.0, 1.0);
  return length(minus(p, {a[0] + ab[0] * t, a[1] + ab[1] * t, a[2] + ab[2] * t}));
}

// Distance from p to triangle (a, b, c): inside its plane's projection, the plane's
// distance; else the nearest edge's.
double triangle_distance(const std::array<double, 3>& p, const std::array<double, 3>& a,
                         const std::array<double, 3>& b, const std::array<double, 3>& c) {
  const auto ab = minus(b, a), ac = minus(c, a), ap = minus(p, a);
  const std::array<double, 3> n{ab[1] * ac[2] - ab[2] * ac[1],
                                ab[2] * ac[0] - ab[0] * ac[2],
                                ab[0] * ac[1] - ab[1] * ac[0]};
  const double nn = dot(n, n);
  const double s = dot(n, ap) / nn;
  const std::array<double, 3> q{p[0] - n[0] * s, p[1] - n[1] * s, p[2] - n[2] * s};
  // Barycentric coordinates of q.
  const auto aq = minus(q, a);
  const double d00 = dot(ab, ab), d01 = dot(ab, ac), d11 = dot(ac, ac);
  const double d20 = dot(aq, ab), d21 = dot(aq, ac);
  const double den = d00 * d11 - d01 * d01;
  const double v = (d11 * d20 - d01 * d21) / den, w = (d00 * d21 - d01 * d20) / den;
  if (v >= 0 && w >= 0 && v + w <= 1) return std::fabs(s) * std::sqrt(nn);
  return std::min(
      {segment_distance(p, a, b), segment_distance(p, b, c), segment_distance(p, c, a)});
}

// Per surface: V - E + F and the number of border loops.
template <index_t D>
std::pair<long, long> topology(const karvel::TriangulatedSurface<D>& mesh) {
  std::map<std::pair<index_t, index_t>, int> edges;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    const auto v = mesh.triangle_vertices(t);
    for (int e = 0; e < 3; ++e) {
      ++edges[{std::min(v[e], v[(e + 1) % 3]), std::max(v[e], v[(e + 1) % 3])}];
    }
  }
  // Border loops: components of the border edges.
  std::vector<index_t> parent(mesh.nb_vertices());
  for (index_t v = 0; v < parent.size(); ++v) parent[v] = v;
  const std::function<index_t(index_t)> find = [&](index_t v) {
    return parent[v] == v ? v : parent[v] = find(parent[v]);
  };
  std::set<index_t> on_border;
  for (const auto& [edge, count] : edges) {
    if (count != 1) continue;
    parent[find(edge.first)] = find(edge.second);
    on_border.insert(edge.first);
    on_border.insert(edge.second);
  }
  std::set<index_t> loops;
  for (const index_t v : on_border) loops.insert(find(v));
  return {static_cast<long>(mesh.nb_vertices()) - static_cast<long>(edges.size()) +
              static_cast<long>(mesh.nb_polygons()),
          static_cast<long>(loops.size())};
}

// V - E + F over the model's vertices: where a surface touches itself (one vertex per
// fan, one unique vertex), it is counted once.
template <typename Model, index_t D>
long model_euler(const Model& model, const karvel::Surface<D>& surface) {
  const auto& mesh = triangulated(surface);
  const index_t slot = model.component_slot(surface.id());
  std::set<index_t> vertices;
  std::set<std::pair<index_t, index_t>> edges;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    const auto v = mesh.triangle_vertices(t);
    for (int e = 0; e < 3; ++e) {
      const index_t a = model.unique_vertex(slot, v[e]);
      const index_t b = model.unique_vertex(slot, v[(e + 1) % 3]);
      vertices.insert(a);
      edges.insert({std::min(a, b), std::max(a, b)});
    }
  }
  return static_cast<long>(vertices.size()) - static_cast<long>(edges.size()) +
         static_cast<long>(mesh.nb_polygons());
}

template <typename Model, index_t D>
void expect_remeshed(const Model& input, const Model& output, const Metric<D>& metric,
                     bool zigzag) {
  const auto report = karvel::check_model(output);
  ASSERT_TRUE(report.ok()) << report.text();
  ASSERT_EQ(output.nb_corners(), input.nb_corners());
  ASSERT_EQ(output.nb_lines(), input.nb_lines());
  ASSERT_EQ(output.nb_surfaces(), input.nb_surfaces());
  // The model's size, for distances.
  double extent = 0;
  for (const auto& surface : input.surfaces()) {
    const auto& mesh = triangulated(surface);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      extent = std::max(extent, length(xyz(mesh.point(v))));
    }
  }
  const double tolerance = 1e-9 * extent;
  // Corners stay.
  auto corner_in = input.corners().begin();
  for (const auto& corner : output.corners()) {
    EXPECT_EQ(corner.mesh().point(0), (*corner_in).mesh().point(0));
    ++corner_in;
  }
  // Line vertices on their input line.
  auto line_in = input.lines().begin();
  for (const auto& line : output.lines()) {
    const auto& before = (*line_in).mesh();
    ++line_in;
    for (index_t v = 0; v < line.mesh().nb_vertices(); ++v) {
      double nearest = 1e300;
      for (index_t e = 0; e < before.nb_edges(); ++e) {
        const auto& ends = before.edge_vertices(e);
        nearest = std::min(nearest, segment_distance(xyz(line.mesh().point(v)),
                                                     xyz(before.point(ends[0])),
                                                     xyz(before.point(ends[1]))));
      }
      EXPECT_LE(nearest, tolerance) << "line vertex " << v;
    }
  }
  // Surfaces: topology kept, vertices on the input surface, edges at the size, angles.
  std::vector<double> angles, ratios;
  auto surface_in = input.surfaces().begin();
  for (const auto& surface : output.surfaces()) {
    const auto& surface_before = *surface_in;
    ++surface_in;
    const auto& before = triangulated(surface_before);
    const auto& after = triangulated(surface);
    EXPECT_EQ(topology(after), topology(before));
    EXPECT_EQ(model_euler(output, surface), model_euler(input, surface_before));
    for (index_t v = 0; v < after.nb_vertices(); ++v) {
      double nearest = 1e300;
      for (index_t t = 0; t < before.nb_polygons() && nearest > tolerance; ++t) {
        const auto tv = before.triangle_vertices(t);
        nearest = std::min(
            nearest,
            triangle_distance(xyz(after.point(v)), xyz(before.point(tv[0])),
                              xyz(before.point(tv[1])), xyz(before.point(tv[2]))));
      }
      EXPECT_LE(nearest, tolerance) << "surface vertex " << v;
    }
    for (index_t t = 0; t < after.nb_polygons(); ++t) {
      const auto v = after.triangle_vertices(t);
      for (int i = 0; i < 3; ++i) {
        const auto a = xyz(after.point(v[i])), b = xyz(after.point(v[(i + 1) % 3]));
        const auto c = xyz(after.point(v[(i + 2) % 3]));
        const auto ab = minus(b, a), ac = minus(c, a);
        angles.push_back(
            std::acos(std::clamp(dot(ab, ac) / (length(ab) * length(ac)), -1.0, 1.0)) *
            180 / M_PI);
        if (v[i] < v[(i + 1) % 3]) {
          const auto mid = (after.point(v[i]) + after.point(v[(i + 1) % 3])) * 0.5;
          ratios.push_back(length(ab) / metric.point_metric(mid));
        }
      }
    }
  }
  if (zigzag) return;
  std::sort(angles.begin(), angles.end());
  std::sort(ratios.begin(), ratios.end());
  EXPECT_GE(angles.front(), 20.0);
  EXPECT_GE(angles[angles.size() / 2], 55.0);
  EXPECT_GE(ratios[ratios.size() * 25 / 1000], 0.6);
  EXPECT_LE(ratios[ratios.size() * 975 / 1000], 1.5);
}

// The guarantees, over the fixtures, under a uniform and a graded size.
TEST(Remesh, KeepsTheModelAndFollowsTheSize) {
  for_each_fixture([](const auto& named) {
    using Model = std::decay_t<decltype(named.make())>;
    constexpr index_t D = ModelKind<Model>::dimension;
    const auto input = named.make();
    const ConstantMetric<D> uniform{named.size};
    const GradedMetric<D> graded{named.size, 0.2};
    for (const Metric<D>* metric : {static_cast<const Metric<D>*>(&uniform),
                                    static_cast<const Metric<D>*>(&graded)}) {
      SCOPED_TRACE(metric == &uniform ? "uniform" : "graded");
      Model output;
      const auto report = remesh(input, output, *metric);
      EXPECT_EQ(report.triangles_before, fixtures::nb_triangles(input));
      EXPECT_EQ(report.triangles_after, fixtures::nb_triangles(output));
      // Its borders turn sharply at every input vertex and keep all of them, at the
      // input's spacing: lengths and angles beside them follow the input, not the size.
      const bool zigzag = named.name == "icosphere sectors";
      expect_remeshed(input, output, *metric, zigzag);
    }
  });
}

// Surfaces are remeshed in parallel, each on its own: the same model on any number of
// threads.
TEST(ParallelRemesh, SameModelOnAnyNumberOfThreads) {
  for_each_fixture([](const auto& named) {
    using Model = std::decay_t<decltype(named.make())>;
    constexpr index_t D = ModelKind<Model>::dimension;
    const auto input = named.make();
    const GradedMetric<D> metric{named.size, 0.2};
    std::vector<std::uint64_t> first;
    for (const std::size_t threads : {1, 2, 4}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      tbb::global_control pool{tbb::global_control::max_allowed_parallelism, threads};
      Model output;
      remesh(input, output, metric);
      if (first.empty()) {
        first = fixtures::fingerprint(output);
      } else {
        EXPECT_EQ(fixtures::fingerprint(output), first);
      }
    }
  });
}

// One surface large enough that its own work is spread over the pool: the splits and
// projections of a refined sphere, the closest-point tree of a coarsened one.
TEST(ParallelRemesh, OneLargeSurfaceSameOnAnyNumberOfThreads) {
  for (const auto& [levels, size] : {std::pair{3, 0.03}, std::pair{5, 0.05}}) {
    const auto soup = fixtures::icosphere_soup(levels);
    const auto input =
        karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
    std::vector<std::uint64_t> first;
    for (const std::size_t threads : {1, 2, 4}) {
      SCOPED_TRACE("levels " + std::to_string(levels) + ", threads " +
                   std::to_string(threads));
      tbb::global_control pool{tbb::global_control::max_allowed_parallelism, threads};
      BRep output;
      remesh(input, output, ConstantMetric<3>{size});
      if (first.empty()) {
        first = fixtures::fingerprint(output);
      } else {
        EXPECT_EQ(fixtures::fingerprint(output), first);
      }
    }
  }
}

// A cube of one patch: its edges are creases, which the new mesh follows: the edges that
// lie along the cube's edges add up to their length, 12.
TEST(Remesh, FollowsCreases) {
  const auto input = one_patch_cube();
  BRep output;
  remesh(input, output, ConstantMetric<3>{0.07});
  double along_edges = 0;
  const auto& mesh = triangulated(*output.surfaces().begin());
  const auto on_cube_edge = [](const std::array<double, 3>& p, int axis) {
    // On an edge parallel to `axis`: the two other coordinates are 0 or 1.
    for (int other = 0; other < 3; ++other) {
      if (other != axis && std::fabs(p[other]) > 1e-12 &&
          std::fabs(p[other] - 1) > 1e-12) {
        return false;
      }
    }
    return true;
  };
  std::set<std::pair<index_t, index_t>> seen;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    const auto v = mesh.triangle_vertices(t);
    for (int e = 0; e < 3; ++e) {
      const index_t a = std::min(v[e], v[(e + 1) % 3]),
                    b = std::max(v[e], v[(e + 1) % 3]);
      if (!seen.insert({a, b}).second) continue;
      const auto pa = xyz(mesh.point(a)), pb = xyz(mesh.point(b));
      for (int axis = 0; axis < 3; ++axis) {
        if (on_cube_edge(pa, axis) && on_cube_edge(pb, axis) &&
            std::fabs(pa[(axis + 1) % 3] - pb[(axis + 1) % 3]) < 1e-12 &&
            std::fabs(pa[(axis + 2) % 3] - pb[(axis + 2) % 3]) < 1e-12) {
          along_edges += length(minus(pa, pb));
        }
      }
    }
  }
  EXPECT_NEAR(along_edges, 12.0, 1e-9);
}

// On a plane at a uniform size, about as many triangles as equilateral ones of that
// size would cover.
TEST(Remesh, PlanarCountMatchesTheSize) {
  for (const double h : {0.02, 0.01}) {
    const auto input = fixtures::section(fixtures::grid_soup<2>(3));
    Section output;
    const auto report = remesh(input, output, ConstantMetric<2>{h});
    const double ideal = 1.0 / (std::sqrt(3.0) / 4 * h * h);
    EXPECT_NEAR(double(report.triangles_after), ideal, 0.15 * ideal) << "h = " << h;
  }
}

// The unit square cut into n x n cells whose inner points are moved by up to 0.225 of a
// cell (no triangle folds) and whose diagonals go either way, from `seed`: a plane far
// from Delaunay.
fixtures::Soup<3> jittered_square(index_t n, std::uint32_t seed) {
  std::uint32_t state = seed;
  const auto next = [&state] {  // in [0, 1)
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / double(1u << 24);
  };
  fixtures::Soup<3> soup;
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      double x = double(i) / n, y = double(j) / n;
      if (i > 0 && i < n && j > 0 && j < n) {
        x += (next() - 0.5) * 0.45 / n;
        y += (next() - 0.5) * 0.45 / n;
      }
      soup.points.push_back(karvel::Point<3>{{x, y, 0}});
    }
  }
  const auto at = [n](index_t i, index_t j) { return j * (n + 1) + i; };
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1),
                    d = at(i, j + 1);
      if (next() < 0.5) {
        soup.triangles.push_back({a, b, c});
        soup.triangles.push_back({a, c, d});
      } else {
        soup.triangles.push_back({a, b, d});
        soup.triangles.push_back({b, c, d});
      }
    }
  }
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

// In a plane the last flips leave a Delaunay mesh: no inner edge whose two opposite
// angles add up to more than pi, from an input far from it or after rounds of changes.
TEST(Remesh, APlaneEndsDelaunay) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    const auto soup = jittered_square(24, seed);
    const auto input =
        karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
    for (const int iterations : {0, 3}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", iterations " +
                   std::to_string(iterations));
      BRep output;
      RemeshOptions options;
      options.iterations = iterations;
      remesh(input, output, ConstantMetric<3>{1.0 / 24}, options);
      const auto& mesh = triangulated(*output.surfaces().begin());
      // The angle in triangle t opposite its edge e.
      const auto opposite_angle = [&mesh](index_t t, karvel::local_index_t e) {
        const auto v = mesh.triangle_vertices(t);
        const auto p = mesh.point(v[(e + 2) % 3]).values();
        const auto a = mesh.point(v[e]).values(), b = mesh.point(v[(e + 1) % 3]).values();
        double uw = 0, uu = 0, ww = 0;
        for (int axis = 0; axis < 3; ++axis) {
          uw += (a[axis] - p[axis]) * (b[axis] - p[axis]);
          uu += (a[axis] - p[axis]) * (a[axis] - p[axis]);
          ww += (b[axis] - p[axis]) * (b[axis] - p[axis]);
        }
        return std::acos(uw / std::sqrt(uu * ww));
      };
      int not_delaunay = 0;
      for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
        for (karvel::local_index_t e = 0; e < 3; ++e) {
          const index_t across = mesh.polygon_adjacent({t, e});
          if (across == karvel::NO_ID || across < t) continue;
          karvel::local_index_t back = 0;
          while (mesh.polygon_adjacent({across, back}) != t) ++back;
          if (opposite_angle(t, e) + opposite_angle(across, back) > M_PI + 1e-9) {
            ++not_delaunay;
          }
        }
      }
      EXPECT_EQ(not_delaunay, 0);
    }
  }
}

// On flat patches, each triangle's centroid lies on the input triangle named its origin.
TEST(Remesh, OriginsNameTheInputTriangleUnderEachCentroid) {
  for (const auto& make :
       {std::function<BRep()>{fixtures::cube}, std::function<BRep()>{fixtures::book}}) {
    const auto input = make();
    BRep output;
    RemeshOptions options;
    options.record_origins = true;
    const auto report = remesh(input, output, GradedMetric<3>{0.1, 0.2}, options);
    auto surface_in = input.surfaces().begin();
    for (const auto& surface : output.surfaces()) {
      const auto& before = triangulated(*surface_in);
      ++surface_in;
      const auto& after = triangulated(surface);
      const auto& origins = report.origins.at(surface.id());
      ASSERT_EQ(origins.size(), after.nb_polygons());
      for (index_t t = 0; t < after.nb_polygons(); ++t) {
        const auto v = after.triangle_vertices(t);
        const auto centroid =
            xyz((after.point(v[0]) + after.point(v[1]) + after.point(v[2])) * (1.0 / 3));
        const auto o = before.triangle_vertices(origins[t]);
        EXPECT_LE(triangle_distance(centroid, xyz(before.point(o[0])),
                                    xyz(before.point(o[1])), xyz(before.point(o[2]))),
                  1e-12);
      }
    }
  }
}

// Far coarser than the input: the line vertices the lines drop go as the inside
// coarsens (all at once, they left slivers along the border, 0.02 degrees at h = 0.7);
// a thin ring keeps its lines bent enough not to lay its surface over its hole.
TEST(Remesh, CoarsensFarAndKeepsThinShapes) {
  const auto fine_square = fixtures::section(fixtures::grid_soup<2>(80));
  std::size_t previous = fixtures::nb_triangles(fine_square);
  for (const double h : {0.1, 0.3, 0.7}) {
    SCOPED_TRACE("h = " + std::to_string(h));
    Section output;
    const auto report = remesh(fine_square, output, ConstantMetric<2>{h});
    ASSERT_TRUE(karvel::check_model(output).ok());
    EXPECT_LT(report.triangles_after, previous);
    previous = report.triangles_after;
    EXPECT_GE(fixtures::smallest_angle(output), 20.0);
  }
  for (const double inner : {0.5, 0.8}) {
    SCOPED_TRACE("inner radius " + std::to_string(inner));
    fixtures::Soup<2> ring;
    const index_t n = 32, rows = 4;
    for (index_t j = 0; j <= rows; ++j) {
      const double r = inner + (1 - inner) * j / rows;
      for (index_t i = 0; i < n; ++i) {
        ring.points.push_back(karvel::Point<2>{
            {r * std::cos(2 * M_PI * i / n), r * std::sin(2 * M_PI * i / n)}});
      }
    }
    for (index_t j = 0; j < rows; ++j) {
      for (index_t i = 0; i < n; ++i) {
        const index_t a = j * n + i, b = j * n + (i + 1) % n;
        ring.triangles.push_back({a, b, b + n});
        ring.triangles.push_back({a, b + n, a + n});
      }
    }
    ring.patches.assign(ring.triangles.size(), 0);
    const auto input = fixtures::section(ring);
    Section output;
    remesh(input, output, ConstantMetric<2>{3.0});
    ASSERT_TRUE(karvel::check_model(output).ok());
    const auto before = fixtures::surface_areas(input).begin()->second;
    const auto after = fixtures::surface_areas(output).begin()->second;
    EXPECT_NEAR(after, before, 0.15 * before);
  }
}

// Sizes near the model's own: the pieces between a surface's creases end with only a few
// triangles each, and two of them may close the same triangle along the crease between
// them; a point where a surface touches itself is a vertex a collapse would gladly take.
// Each surface must still come out with its input's topology.
TEST(Remesh, SurfacesKeepTheirTopologyAtCoarseSizes) {
  const auto two_cones = [] { return fixtures::brep(fixtures::two_cones_soup()); };
  const std::vector<std::pair<NamedModel<BRep>, std::vector<double>>> cases{
      {{"capped cylinder", capped_cylinder, 0}, {0.6, 0.9, 1.5, 3}},
      {{"folded sheet", folded_sheet, 0}, {0.6, 1, 3}},
      {{"cube of one patch", one_patch_cube, 0}, {0.8, 1.5, 3}},
      // Touching itself at the apexes, inside: the point must stay one vertex.
      {{"two cones", two_cones, 0}, {0.3, 0.6, 2}}};
  for (const auto& [named, sizes] : cases) {
    const auto input = named.make();
    for (const double h : sizes) {
      SCOPED_TRACE(named.name + " at " + std::to_string(h));
      BRep output;
      remesh(input, output, ConstantMetric<3>{h});
      const auto check = karvel::check_model(output);
      ASSERT_TRUE(check.ok()) << check.text();
      auto surface_in = input.surfaces().begin();
      for (const auto& surface : output.surfaces()) {
        EXPECT_EQ(topology(triangulated(surface)), topology(triangulated(*surface_in)));
        EXPECT_EQ(model_euler(output, surface), model_euler(input, *surface_in));
        ++surface_in;
      }
    }
  }
}

// The three rounds the peers are timed with: a finely tessellated cap, refined 30 times,
// still thins out its centre (the last splits of long edges land next to what the
// rounds left there; a last pass collapses what they leave short).
TEST(Remesh, ATessellatedCapInThreeRounds) {
  const auto input = tessellated_disk(12);
  BRep output;
  RemeshOptions options;
  options.iterations = 3;
  remesh(input, output, ConstantMetric<3>{0.007}, options);
  EXPECT_GE(fixtures::smallest_angle(output), 20.0);
}

// A surface that cannot drop an input line vertex makes its line keep it, and the other
// surface of that line is done again: still one conforming model.
TEST(Remesh, ALineVertexASurfaceKeepsIsKeptByAll) {
  const auto input = fixtures::brep(fixtures::icosphere_sectors_soup());
  BRep output;
  const auto report = remesh(input, output, GradedMetric<3>{0.2, 0.2});
  EXPECT_GT(report.line_vertices_kept, 0u);
  const auto check = karvel::check_model(output);
  EXPECT_TRUE(check.ok()) << check.text();
}

TEST(Remesh, TheRemeshingDataGiveTheSameModel) {
  const auto input = fixtures::book();
  const ConstantMetric<3> metric{0.1};
  BRep direct;
  remesh(input, direct, metric);
  BRep output;
  auto data = initialize_remeshing_data(input, output, metric);
  remesh(data);
  EXPECT_EQ(fixtures::fingerprint(output), fixtures::fingerprint(direct));
}

TEST(Remesh, RefusesWhatItCannotDo) {
  const auto input = fixtures::cube();
  {
    BRep output;
    remesh(input, output, ConstantMetric<3>{0.3});
    EXPECT_THROW(remesh(input, output, ConstantMetric<3>{0.3}), karvel::KarvelException);
  }
  for (const double size : {0.0, -1.0, std::nan("")}) {
    BRep output;
    EXPECT_THROW(remesh(input, output, ConstantMetric<3>{size}), std::domain_error);
  }
  BRep output;
  RemeshOptions options;
  options.progress = [](const RemeshProgress&) { return false; };
  EXPECT_THROW(remesh(input, output, ConstantMetric<3>{0.1}, options), RemeshStopped);
  for (const double angle : {0.0, -10.0, 180.0}) {
    BRep untouched;
    RemeshOptions bad;
    bad.feature_angle = angle;
    EXPECT_THROW(remesh(input, untouched, ConstantMetric<3>{0.1}, bad),
                 std::invalid_argument);
    EXPECT_EQ(untouched.nb_surfaces(), 0u);
  }
  EXPECT_THROW(remesh(fixtures::cube_with_odd_surfaces(), output, ConstantMetric<3>{0.1}),
               karvel::KarvelException);
}

}  // namespace
}  // namespace vemra
