#include "crease_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>

namespace vemra::remesher {

using karvel::NO_ID;

CreaseCut cut_at_creases(const std::vector<Vec3>& points,
                         const std::vector<std::array<index_t, 3>>& triangles,
                         const std::vector<std::array<index_t, 3>>& beside,
                         double feature_angle,
                         const std::function<bool(index_t, index_t)>& on_line,
                         const std::function<bool(index_t)>& is_stop) {
  const double limit = std::cos(feature_angle);
  // Unit normals (zero for a degenerate triangle, which parts nothing).
  std::vector<Vec3> normals(triangles.size());
  for (index_t t = 0; t < triangles.size(); ++t) {
    const auto& v = triangles[t];
    const Vec3 n = normal(points[v[0]], points[v[1]], points[v[2]]);
    const double length = norm(n);
    normals[t] = length > 0 ? n * (1 / length) : Vec3{0, 0, 0};
  }
  const auto parts = [&](index_t t, int e) {
    const index_t u = beside[t][e];
    if (u == NO_ID) return false;
    const Vec3& n0 = normals[t];
    const Vec3& n1 = normals[u];
    return dot(n0, n0) > 0 && dot(n1, n1) > 0 && dot(n0, n1) < limit &&
           !on_line(triangles[t][e], triangles[t][(e + 1) % 3]);
  };
  // Regions, in the order of their first triangle.
  CreaseCut cut;
  std::vector<index_t> region(triangles.size(), NO_ID);
  std::vector<index_t> stack;
  for (index_t first = 0; first < triangles.size(); ++first) {
    if (region[first] != NO_ID) continue;
    const auto r = static_cast<index_t>(cut.regions.size());
    cut.regions.emplace_back();
    region[first] = r;
    stack.push_back(first);
    while (!stack.empty()) {
      const index_t t = stack.back();
      stack.pop_back();
      cut.regions[r].push_back(t);
      for (int e = 0; e < 3; ++e) {
        const index_t u = beside[t][e];
        if (u != NO_ID && region[u] == NO_ID && !parts(t, e)) {
          region[u] = r;
          stack.push_back(u);
        }
      }
    }
    std::sort(cut.regions[r].begin(), cut.regions[r].end());
  }
  if (cut.regions.size() < 2) return cut;

  // The crease edges between two regions, around each vertex.
  std::vector<absl::InlinedVector<index_t, 2>> along(points.size());
  for (index_t t = 0; t < triangles.size(); ++t) {
    for (int e = 0; e < 3; ++e) {
      const index_t u = beside[t][e];
      const index_t a = triangles[t][e], b = triangles[t][(e + 1) % 3];
      if (u == NO_ID || a > b || region[u] == region[t] || !parts(t, e)) continue;
      along[a].push_back(b);
      along[b].push_back(a);
    }
  }
  for (auto& list : along) std::sort(list.begin(), list.end());
  const auto stop = [&](index_t v) { return along[v].size() != 2 || is_stop(v); };
  absl::flat_hash_set<std::uint64_t> walked;
  // From v along (v, w) to the next stop, or back to the start of a loop.
  const auto walk = [&](index_t v, index_t w) {
    CreaseCut::Chain chain;
    chain.vertices.push_back(v);
    index_t previous = v, current = w;
    walked.insert(edge_key(v, w));
    while (current != v && !stop(current)) {
      chain.vertices.push_back(current);
      const auto& next = along[current];
      const index_t ahead = next[0] == previous ? next[1] : next[0];
      walked.insert(edge_key(current, ahead));
      previous = current;
      current = ahead;
    }
    chain.closed = current == v;
    chain.vertices.push_back(current);
    cut.chains.push_back(std::move(chain));
  };
  for (index_t v = 0; v < points.size(); ++v) {
    if (along[v].empty() || !stop(v)) continue;
    for (const index_t w : along[v]) {
      if (!walked.contains(edge_key(v, w))) walk(v, w);
    }
  }
  // Loops without a stop start at their lowest vertex.
  for (index_t v = 0; v < points.size(); ++v) {
    if (along[v].size() == 2 && !walked.contains(edge_key(v, along[v][0]))) {
      walk(v, along[v][0]);
    }
  }
  return cut;
}

}  // namespace vemra::remesher
