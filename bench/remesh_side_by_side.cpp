// Remeshes one triangle soup to a uniform target edge length with vemra::remesh and with
// CGAL's isotropic remeshing (3 iterations, edges sharper than 40 degrees kept as
// constraints, each patch remeshed on its own with its borders constrained), three times
// each, and prints the medians: seconds, triangles, the smallest angle, the 1 % quantile
// and the median angle, and the edge length over the target at the 2.5 % and 97.5 %
// quantiles. The soup is a file (OFF, OBJ, PLY, STL, TSurf; OBJ groups and TSurf faces
// are patches), `cells:L:K`, the unit sphere of 20 * 4^L triangles cut into 6 * K * K
// patches along the cells of a cube projected onto it, `cube:N`, the unit cube of one
// patch in N x N cells a face, or `gear`, a machined part of one patch (bench_models.h).
// The peer's mesh holds no edge of more than two triangles, so the soup must not have
// one. Built only where Debian's libcgal-dev is installed; the library never links CGAL.
// With a third argument, the soup is first written there as OBJ (a group per patch), for
// timing the whole tool on it.
//
//   remesh_side_by_side model.off 0.0035
//   remesh_side_by_side cells:5:4 0.01 cells.obj
//   remesh_side_by_side gear 0.007 gear.obj

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/detect_features.h>
#include <CGAL/Polygon_mesh_processing/remesh.h>
#include <CGAL/Surface_mesh.h>

#include <karvel/model/from_patches.h>
#include <vemra/remesh.h>

#include "bench_models.h"
#include "mesh_readers.h"
#include "size_fields.h"

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<Kernel::Point_3>;
using Clock = std::chrono::steady_clock;

struct Figures {
  double seconds;
  std::size_t triangles;
  double smallest, q01, median, short_edges, long_edges;
};

double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
}

// Angles and edge lengths over the target, from triangles given as three points each.
Figures figures(double seconds,
                const std::vector<std::array<std::array<double, 3>, 3>>& tris,
                double target) {
  std::vector<double> angles, lengths;
  for (const auto& t : tris) {
    for (int i = 0; i < 3; ++i) {
      const auto& a = t[i];
      const auto& b = t[(i + 1) % 3];
      const auto& c = t[(i + 2) % 3];
      double ab[3], ac[3], dot = 0, nab = 0, nac = 0;
      for (int k = 0; k < 3; ++k) {
        ab[k] = b[k] - a[k];
        ac[k] = c[k] - a[k];
        dot += ab[k] * ac[k];
        nab += ab[k] * ab[k];
        nac += ac[k] * ac[k];
      }
      angles.push_back(std::acos(std::clamp(dot / std::sqrt(nab * nac), -1.0, 1.0)) *
                       180 / M_PI);
      lengths.push_back(std::sqrt(nab) / target);
    }
  }
  return {seconds,
          tris.size(),
          *std::min_element(angles.begin(), angles.end()),
          quantile(angles, 0.01),
          quantile(angles, 0.5),
          quantile(lengths, 0.025),
          quantile(lengths, 0.975)};
}

Figures run_vemra(const vemra::tool::Soup& soup, double target) {
  const auto input = karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
  karvel::BRep output;
  const vemra::tool::UniformSize<3> size{target};
  // The peer's settings: 3 rounds, edges sharper than 40 degrees kept.
  vemra::RemeshOptions options;
  options.iterations = 3;
  options.feature_angle = 40;
  const auto start = Clock::now();
  vemra::remesh(input, output, size, options);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<std::array<std::array<double, 3>, 3>> tris;
  for (const auto& surface : output.surfaces()) {
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<3>&>(surface.get_mesh());
    for (karvel::index_t t = 0; t < mesh.nb_polygons(); ++t) {
      std::array<std::array<double, 3>, 3> corners{};
      const auto v = mesh.triangle_vertices(t);
      for (int i = 0; i < 3; ++i) corners[i] = mesh.point(v[i]).values();
      tris.push_back(corners);
    }
  }
  return figures(seconds, tris, target);
}

Figures run_cgal(const vemra::tool::Soup& soup, double target) {
  Mesh mesh;
  std::vector<Mesh::Vertex_index> vertices;
  for (const auto& p : soup.points) {
    vertices.push_back(mesh.add_vertex({p.value(0), p.value(1), p.value(2)}));
  }
  auto patch = mesh.add_property_map<Mesh::Face_index, std::size_t>("f:patch").first;
  for (std::size_t t = 0; t < soup.triangles.size(); ++t) {
    const auto& v = soup.triangles[t];
    const auto face = mesh.add_face(vertices[v[0]], vertices[v[1]], vertices[v[2]]);
    if (face == Mesh::null_face()) {
      std::fprintf(stderr, "the peer's mesh cannot take triangle %zu\n", t);
      std::exit(2);
    }
    patch[face] = soup.patches[t];
  }
  namespace PMP = CGAL::Polygon_mesh_processing;
  const auto start = Clock::now();
  auto sharp = get(CGAL::edge_is_feature, mesh);
  PMP::detect_sharp_edges(mesh, 40, sharp);
  // Patch borders are features too: kept as lines, split and collapsed along them.
  for (const auto edge : mesh.edges()) {
    const auto h = mesh.halfedge(edge);
    if (!mesh.is_border(edge) &&
        patch[mesh.face(h)] != patch[mesh.face(mesh.opposite(h))]) {
      put(sharp, edge, true);
    }
  }
  PMP::isotropic_remeshing(faces(mesh), target, mesh,
                           CGAL::parameters::number_of_iterations(3)
                               .edge_is_constrained_map(sharp)
                               .face_patch_map(patch));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<std::array<std::array<double, 3>, 3>> tris;
  for (const auto face : mesh.faces()) {
    std::array<std::array<double, 3>, 3> corners{};
    int i = 0;
    for (const auto v : vertices_around_face(mesh.halfedge(face), mesh)) {
      const auto& p = mesh.point(v);
      corners[i++] = {p.x(), p.y(), p.z()};
    }
    tris.push_back(corners);
  }
  return figures(seconds, tris, target);
}

vemra::tool::Soup as_tool_soup(const bench::Soup<3>& model, const std::string& name) {
  vemra::tool::Soup soup;
  soup.name = name;
  soup.points = model.points;
  soup.triangles = model.triangles;
  soup.patches = model.patches;
  return soup;
}

// The unit sphere cut along a cube's cells: each triangle goes to the cell of the cube
// face its centroid points at, the face cut into k x k cells by equal angles.
vemra::tool::Soup sphere_cells(int levels, int k) {
  auto soup = as_tool_soup(bench::icosphere(levels), "cells");
  soup.patches.clear();
  for (const auto& t : soup.triangles) {
    std::array<double, 3> c{0, 0, 0};
    for (const auto v : t) {
      for (int axis = 0; axis < 3; ++axis) c[axis] += soup.points[v].value(axis);
    }
    int major = 0;
    for (int axis = 1; axis < 3; ++axis) {
      if (std::abs(c[axis]) > std::abs(c[major])) major = axis;
    }
    const int face = 2 * major + (c[major] < 0 ? 1 : 0);
    const auto cell = [&](int axis) {
      const double angle = std::atan(c[axis] / std::abs(c[major]));  // -pi/4 .. pi/4
      return std::clamp(static_cast<int>((angle / (M_PI / 2) + 0.5) * k), 0, k - 1);
    };
    const int u = cell((major + 1) % 3), v = cell((major + 2) % 3);
    soup.patches.push_back(static_cast<karvel::index_t>((face * k + u) * k + v));
  }
  return soup;
}

vemra::tool::Soup read(const std::string& name) {
  int levels = 0, k = 0;
  if (std::sscanf(name.c_str(), "cells:%d:%d", &levels, &k) == 2 && levels >= 0 &&
      levels <= 8 && k >= 1) {
    return sphere_cells(levels, k);
  }
  int cells = 0;
  if (std::sscanf(name.c_str(), "cube:%d", &cells) == 1 && cells >= 1 && cells <= 1024) {
    return as_tool_soup(bench::cube(cells), "cube");
  }
  if (name == "gear") return as_tool_soup(bench::gear(), "gear");
  return vemra::tool::read_soup(name);
}

template <typename Run>
Figures median_of_three(Run run) {
  std::vector<Figures> runs{run(), run(), run()};
  std::sort(runs.begin(), runs.end(),
            [](const Figures& a, const Figures& b) { return a.seconds < b.seconds; });
  return runs[1];
}

void print(const char* name, const Figures& f) {
  std::printf(
      "%-6s %8.3f s %9zu triangles  angles %.2f / %.2f / %.2f  edge/target %.2f..%.2f\n",
      name, f.seconds, f.triangles, f.smallest, f.q01, f.median, f.short_edges,
      f.long_edges);
}

// Points with 17 significant digits, which read back exactly.
void write_obj(const vemra::tool::Soup& soup, const char* path) {
  FILE* file = std::fopen(path, "w");
  if (!file) {
    std::perror(path);
    std::exit(2);
  }
  for (const auto& p : soup.points) {
    std::fprintf(file, "v %.17g %.17g %.17g\n", p.value(0), p.value(1), p.value(2));
  }
  std::vector<std::size_t> order(soup.triangles.size());
  for (std::size_t t = 0; t < order.size(); ++t) order[t] = t;
  std::stable_sort(order.begin(), order.end(), [&soup](std::size_t a, std::size_t b) {
    return soup.patches[a] < soup.patches[b];
  });
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::size_t t = order[i];
    if (i == 0 || soup.patches[t] != soup.patches[order[i - 1]]) {
      std::fprintf(file, "g patch%u\n", soup.patches[t]);
    }
    const auto& v = soup.triangles[t];
    std::fprintf(file, "f %u %u %u\n", v[0] + 1, v[1] + 1, v[2] + 1);
  }
  if (std::fclose(file) != 0) {
    std::perror(path);
    std::exit(2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(
        stderr,
        "usage: remesh_side_by_side MESH|cells:L:K|cube:N|gear TARGET_EDGE_LENGTH "
        "[OUT.obj]\n");
    return 2;
  }
  const auto soup = read(argv[1]);
  if (argc == 4) write_obj(soup, argv[3]);
  const double target = std::atof(argv[2]);
  print("vemra", median_of_three([&] { return run_vemra(soup, target); }));
  print("CGAL", median_of_three([&] { return run_cgal(soup, target); }));
}
