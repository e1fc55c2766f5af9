#include "line_resampling.h"

#include <cmath>
#include <cstring>
#include <sstream>

#include <karvel/basic/exception.h>

namespace vemra::remesher {

template <index_t D>
LineChain chain_of(const karvel::EdgedCurve<D>& line, index_t start) {
  const index_t nb_vertices = line.nb_vertices();
  const auto fail = [&](const std::string& why) {
    std::ostringstream message;
    message << "[remesh] A line is not one simple curve: " << why;
    throw karvel::KarvelException{message.str()};
  };
  LineChain chain;
  if (line.nb_edges() == 0) return chain;
  index_t first = karvel::NO_ID;
  for (index_t v = 0; v < nb_vertices; ++v) {
    const auto degree = line.edges_around_vertex(v).size();
    if (degree > 2)
      fail("vertex " + std::to_string(v) + " ends " + std::to_string(degree) + " edges");
    if (degree == 1 && first == karvel::NO_ID) first = v;
  }
  chain.closed = first == karvel::NO_ID;
  if (chain.closed) first = start < nb_vertices ? start : 0;
  std::vector<bool> used(line.nb_edges(), false);
  index_t vertex = first;
  chain.vertices.push_back(vertex);
  while (true) {
    index_t next_edge = karvel::NO_ID;
    for (const index_t e : line.edges_around_vertex(vertex)) {
      if (!used[e]) {
        next_edge = e;
        break;
      }
    }
    if (next_edge == karvel::NO_ID) break;
    used[next_edge] = true;
    const auto& ends = line.edge_vertices(next_edge);
    vertex = ends[0] == vertex ? ends[1] : ends[0];
    chain.vertices.push_back(vertex);
  }
  if (chain.vertices.size() != line.nb_edges() + 1)
    fail("its edges are in several pieces");
  return chain;
}

template LineChain chain_of(const karvel::EdgedCurve<2>&, index_t);
template LineChain chain_of(const karvel::EdgedCurve<3>&, index_t);

double edge_ratio(const Vec3& a, const Vec3& b,
                  const std::function<double(const Vec3&)>& size) {
  return distance(a, b) / size(midpoint(a, b));
}

namespace {

std::array<std::uint64_t, 3> bits(const Vec3& p) {
  std::array<std::uint64_t, 3> key{};
  std::memcpy(key.data(), p.data(), sizeof key);
  return key;
}

// Appends the midpoints that bisecting (a, b) makes, in order along it.
void bisect(const Vec3& a, const Vec3& b, const std::function<double(const Vec3&)>& size,
            LinePoints& points, int depth) {
  if (depth > 60 || !(edge_ratio(a, b, size) > long_ratio)) return;
  const Vec3 m = midpoint(a, b);
  bisect(a, m, size, points, depth + 1);
  points.of_midpoint.emplace(bits(m), static_cast<index_t>(points.positions.size()));
  points.positions.push_back(m);
  bisect(m, b, size, points, depth + 1);
}

}  // namespace

index_t LinePoints::find_midpoint(const Vec3& p) const {
  const auto found = of_midpoint.find(bits(p));
  return found == of_midpoint.end() ? karvel::NO_ID : found->second;
}

LinePoints resample(const std::vector<Vec3>& chain_points, std::vector<bool> kept,
                    bool closed, double feature_angle,
                    const std::function<double(const Vec3&)>& size) {
  const std::size_t n = chain_points.size();
  LinePoints points;
  points.of_chain_vertex.assign(n, karvel::NO_ID);
  if (n < 2) return points;
  points.inside_edge.resize(n - 1);
  kept[0] = kept[n - 1] = true;
  std::vector<double> along(n, 0.0);  // metric length from the chain's start
  for (std::size_t k = 1; k < n; ++k) {
    along[k] = along[k - 1] + edge_ratio(chain_points[k - 1], chain_points[k], size);
  }
  // An input edge longer than long_ratio is refined on its own, by bisection, as the
  // surfaces refine their own edges: its ends stay. Even spacing is for runs of short
  // edges, which it coarsens.
  for (std::size_t k = 1; k < n; ++k) {
    if (along[k] - along[k - 1] > long_ratio) kept[k - 1] = kept[k] = true;
  }
  const auto add_chain_vertex = [&](std::size_t k) {
    points.of_chain_vertex[k] = static_cast<index_t>(points.positions.size());
    points.positions.push_back(chain_points[k]);
  };
  std::size_t begin = 0;
  for (std::size_t end = 1; end < n; ++end) {
    if (!kept[end]) continue;
    add_chain_vertex(begin);
    if (end - begin == 1) {
      bisect(chain_points[begin], chain_points[end], size, points, 0);
      begin = end;
      continue;
    }
    // Evenly in the metric's length along the input edges: as many edges as that length
    // rounds to (two at least on a whole line of several edges, three around a loop).
    const double run = along[end] - along[begin];
    std::size_t segments = static_cast<std::size_t>(std::max<long>(1, std::lround(run)));
    // No new edge turns through more than the feature angle of the input: a thin ring
    // coarsened to a triangle would lay its surface over its hole.
    double turning = 0;
    for (std::size_t k = begin + 1; k < end; ++k) {
      const Vec3 in = chain_points[k] - chain_points[k - 1];
      const Vec3 out = chain_points[k + 1] - chain_points[k];
      turning += std::atan2(norm(cross(in, out)), dot(in, out));
    }
    segments = std::max<std::size_t>(
        segments, static_cast<std::size_t>(std::ceil(turning / feature_angle - 1e-9)));
    if (begin == 0 && end == n - 1)
      segments = std::max<std::size_t>(segments, closed ? 3 : 2);
    std::size_t e = begin;
    for (std::size_t j = 1; j < segments; ++j) {
      const double target = along[begin] + run * static_cast<double>(j) / segments;
      while (e + 1 < end && along[e + 1] <= target) ++e;
      const double span = along[e + 1] - along[e];
      const double t = span > 0 ? (target - along[e]) / span : 0.0;
      // A point a hair from an input vertex is that vertex: no sliver beside it.
      constexpr double snap = 1e-6;
      if (t < snap || t > 1 - snap) {
        const std::size_t k = t < snap ? e : e + 1;
        if (k > begin && k < end && points.of_chain_vertex[k] == karvel::NO_ID) {
          add_chain_vertex(k);
        }
        continue;
      }
      const Vec3& a = chain_points[e];
      points.inside_edge[e].push_back({t, static_cast<index_t>(points.positions.size())});
      points.positions.push_back(a + (chain_points[e + 1] - a) * t);
    }
    begin = end;
  }
  if (closed) {
    points.of_chain_vertex[n - 1] = points.of_chain_vertex[0];
  } else {
    add_chain_vertex(n - 1);
  }
  return points;
}

}  // namespace vemra::remesher
