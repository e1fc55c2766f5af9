// Remeshes one triangle soup (OFF, OBJ, PLY, STL; one patch) to a uniform target edge
// length with vemra::remesh and with CGAL's isotropic remeshing (3 iterations, edges
// sharper than 40 degrees kept as constraints), three times each, and prints the medians:
// seconds, triangles, the smallest angle, the 1 % quantile and the median angle, and the
// edge length over the target at the 2.5 % and 97.5 % quantiles. Built only where
// Debian's libcgal-dev is installed; the library never links CGAL.
//
//   remesh_side_by_side model.off 0.0035

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/detect_features.h>
#include <CGAL/Polygon_mesh_processing/remesh.h>
#include <CGAL/Surface_mesh.h>

#include <karvel/model/from_patches.h>
#include <vemra/remesh.h>

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
  for (const auto& t : soup.triangles) {
    mesh.add_face(vertices[t[0]], vertices[t[1]], vertices[t[2]]);
  }
  namespace PMP = CGAL::Polygon_mesh_processing;
  const auto start = Clock::now();
  auto sharp = get(CGAL::edge_is_feature, mesh);
  PMP::detect_sharp_edges(mesh, 40, sharp);
  PMP::isotropic_remeshing(
      faces(mesh), target, mesh,
      CGAL::parameters::number_of_iterations(3).edge_is_constrained_map(sharp));
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: remesh_side_by_side MESH TARGET_EDGE_LENGTH\n");
    return 2;
  }
  const auto soup = vemra::tool::read_soup(argv[1]);
  const double target = std::atof(argv[2]);
  print("vemra", median_of_three([&] { return run_vemra(soup, target); }));
  print("CGAL", median_of_three([&] { return run_cgal(soup, target); }));
}
