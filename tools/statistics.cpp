#include "statistics.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_reduce.h>

#include <karvel/basic/trivial_vector.h>
#include <karvel/geometry/mensuration.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace vemra::tool {
namespace {

// Calls `visit(mesh)` for every triangulated surface.
template <typename Model, typename Visit>
void for_each_mesh(const Model& model, Visit visit) {
  for (const auto& surface : model.surfaces()) {
    if (const auto* mesh = dynamic_cast<const karvel::TriangulatedSurface<Model::dim>*>(
            &surface.get_mesh())) {
      visit(*mesh);
    }
  }
}

// What the figures need of one triangle, from its three squared edge lengths: the
// cosine of its smallest angle (the one opposite its shortest edge), the squared length
// of its longest edge (the lowest local index on a tie, as the refinement picks it) and
// that edge's midpoint.
template <index_t D>
struct TriangleFigures {
  double smallest_angle_cosine;
  double longest;
  karvel::Point<D> middle;
};

template <index_t D>
TriangleFigures<D> triangle_figures(const karvel::TriangulatedSurface<D>& mesh,
                                    index_t triangle) {
  const auto v = mesh.triangle_vertices(triangle);
  const std::array<const karvel::Point<D>*, 3> p{&mesh.point(v[0]), &mesh.point(v[1]),
                                                 &mesh.point(v[2])};
  std::array<double, 3> squared;
  for (int i = 0; i < 3; ++i) {
    squared[i] = karvel::point_point_squared_distance<D>(*p[i], *p[(i + 1) % 3]);
  }
  const int shortest =
      int(std::min_element(squared.begin(), squared.end()) - squared.begin());
  const int longest =
      int(std::max_element(squared.begin(), squared.end()) - squared.begin());
  const double a = squared[(shortest + 1) % 3];
  const double b = squared[(shortest + 2) % 3];
  const double denominator = 2 * std::sqrt(a * b);
  return {denominator > 0
              ? std::clamp((a + b - squared[shortest]) / denominator, -1.0, 1.0)
              : 1.0,
          squared[longest], karvel::midpoint<D>(*p[longest], *p[(longest + 1) % 3])};
}

constexpr index_t prefetch_distance = 16;

// The figures and, given a metric, the largest ratio of a longest edge to twice the size
// at its midpoint: one pass over the triangles, each read once for both.
template <typename Model, index_t D>
std::pair<MeshFigures, double> measure_pass(const Model& model, const Metric<D>* metric) {
  MeshFigures figures{model.nb_surfaces(), model.nb_lines(), 0,
                      model.nb_unique_vertices(), 180};
  struct Largest {
    double cosine = -1;
    double ratio = 0;
    static Largest of(const Largest& a, const Largest& b) {
      return {std::max(a.cosine, b.cosine), std::max(a.ratio, b.ratio)};
    }
  };
  Largest largest;
  bool any = false;
  for_each_mesh(model, [&](const auto& mesh) {
    figures.triangles += mesh.nb_polygons();
    if (mesh.nb_polygons() == 0) return;
    any = true;
    largest = Largest::of(
        largest,
        tbb::parallel_reduce(
            tbb::blocked_range<index_t>{0, mesh.nb_polygons()}, Largest{},
            [&mesh, metric](const tbb::blocked_range<index_t>& range, Largest found) {
              for (index_t t = range.begin(); t != range.end(); ++t) {
                // The points of a refined mesh lie scattered: ask for those of a
                // triangle further on while this one is measured.
                if (t + prefetch_distance < range.end()) {
                  for (const index_t v : mesh.triangle_vertices(t + prefetch_distance)) {
                    __builtin_prefetch(&mesh.point(v));
                  }
                }
                const auto triangle = triangle_figures(mesh, t);
                found.cosine = std::max(found.cosine, triangle.smallest_angle_cosine);
                if (!metric) continue;
                found.ratio = std::max(found.ratio,
                                       std::sqrt(triangle.longest) /
                                           (2 * metric->point_metric(triangle.middle)));
              }
              return found;
            },
            Largest::of));
  });
  if (any) figures.min_angle = std::acos(largest.cosine) * 180 / M_PI;
  return {figures, largest.ratio};
}

}  // namespace

template <typename Model>
MeshFigures measure(const Model& model) {
  return measure_pass<Model, Model::dim>(model, nullptr).first;
}

template <typename Model, index_t D>
std::pair<MeshFigures, double> measure_refined(const Model& model,
                                               const Metric<D>& metric) {
  return measure_pass(model, &metric);
}

template <typename Model, index_t D>
double estimate_triangles(const Model& model, const Metric<D>& metric, Meshing meshing) {
  // Equilateral triangles of side edge * h.
  const double edge = meshing == Meshing::refine ? 1.4 : 1.0;
  const double per_area = 1.0 / (std::sqrt(3.0) / 4.0 * edge * edge);
  // Refining keeps every input triangle; remeshing may merge them.
  const double floor = meshing == Meshing::refine ? 1.0 : 0.0;
  double estimate = 0;
  for_each_mesh(model, [&](const karvel::TriangulatedSurface<D>& mesh) {
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      const auto triangle = mesh.triangle(t);
      const auto& v = triangle.vertices();
      const double size =
          metric.point_metric((v[0].get() + v[1].get() + v[2].get()) * (1.0 / 3));
      const double area = karvel::triangle_area(triangle);
      estimate += size > 0 ? std::max(floor, area / (size * size) * per_area) : 1.0;
    }
  });
  return estimate;
}

template MeshFigures measure(const karvel::BRep&);
template MeshFigures measure(const karvel::Section&);
template std::pair<MeshFigures, double> measure_refined(const karvel::BRep&,
                                                        const Metric<3>&);
template std::pair<MeshFigures, double> measure_refined(const karvel::Section&,
                                                        const Metric<2>&);
template double estimate_triangles(const karvel::BRep&, const Metric<3>&, Meshing);
template double estimate_triangles(const karvel::Section&, const Metric<2>&, Meshing);

namespace {

Spread spread(karvel::TrivialVector<double>& values) {
  if (values.empty()) return {NAN, NAN, NAN};
  const auto at = [&values](std::size_t k) {
    std::nth_element(values.begin(), values.begin() + k, values.end());
    return values[k];
  };
  const double median = at(values.size() / 2);
  const double q01 = at(values.size() / 100);
  return {*std::min_element(values.begin(), values.end()), q01, median};
}

}  // namespace

double default_max_triangles() {
  constexpr double bytes_per_triangle = 80;
  const double memory =
      double(::sysconf(_SC_PHYS_PAGES)) * double(::sysconf(_SC_PAGESIZE));
  return std::floor(memory / 2 / bytes_per_triangle);
}

template <typename Model, index_t D>
Shape shape(const Model& model, const Metric<D>& metric) {
  // Three negated cosines per triangle (in the order of their angles), and three length
  // ratios, NaN for the edges that another triangle gives: each edge once, from its lower
  // vertex; a border edge where its triangle runs it upwards.
  std::size_t triangles = 0;
  for_each_mesh(model, [&](const karvel::TriangulatedSurface<D>& mesh) {
    triangles += mesh.nb_polygons();
  });
  karvel::TrivialVector<double> cosines, lengths;
  cosines.resize_for_overwrite(3 * triangles);
  lengths.resize_for_overwrite(3 * triangles);
  std::size_t first = 0;
  for_each_mesh(model, [&](const karvel::TriangulatedSurface<D>& mesh) {
    tbb::parallel_for(
        tbb::blocked_range<index_t>{0, mesh.nb_polygons()},
        [&](const tbb::blocked_range<index_t>& range) {
          for (index_t t = range.begin(); t != range.end(); ++t) {
            const auto v = mesh.triangle_vertices(t);
            for (int i = 0; i < 3; ++i) {
              const auto& a = mesh.point(v[i]);
              const auto& b = mesh.point(v[(i + 1) % 3]);
              const auto& c = mesh.point(v[(i + 2) % 3]);
              const double ab = karvel::point_point_distance<D>(a, b);
              const double ac = karvel::point_point_distance<D>(a, c);
              const double bc = karvel::point_point_distance<D>(b, c);
              const std::size_t slot = first + 3 * std::size_t{t} + std::size_t(i);
              cosines[slot] =
                  -std::clamp((ab * ab + ac * ac - bc * bc) / (2 * ab * ac), -1.0, 1.0);
              lengths[slot] = v[i] < v[(i + 1) % 3]
                                  ? ab / metric.point_metric(karvel::midpoint<D>(a, b))
                                  : NAN;
            }
          }
        });
    first += 3 * std::size_t{mesh.nb_polygons()};
  });
  lengths.resize(static_cast<std::size_t>(
      std::remove_if(lengths.begin(), lengths.end(),
                     [](double ratio) { return std::isnan(ratio); }) -
      lengths.begin()));
  // One arc cosine for each of the three figures, not for every angle.
  Spread angles = spread(cosines);
  for (double* figure : {&angles.smallest, &angles.q01, &angles.median}) {
    *figure = std::acos(-*figure) * 180 / M_PI;
  }
  return {angles, spread(lengths)};
}

template Shape shape(const karvel::BRep&, const Metric<3>&);
template Shape shape(const karvel::Section&, const Metric<2>&);

}  // namespace vemra::tool
