#include "closest_point.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>

#include <tbb/parallel_invoke.h>
#include <tbb/task_arena.h>

namespace vemra::remesher {

// The region test of the standard closest-point-on-triangle construction.
Vec3 closest_point_on_triangle(const Vec3& p, const Vec3& a, const Vec3& b,
                               const Vec3& c) {
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Vec3 bp = p - b;
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const Vec3 cp = p - c;
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  }
  const double denominator = va + vb + vc;
  if (!(denominator > 0)) return a;  // degenerate: any vertex is as close as the rest
  return a + ab * (vb / denominator) + ac * (vc / denominator);
}

namespace {
constexpr index_t leaf_size = 4;
}

ClosestPoint::ClosestPoint(std::vector<Vec3> points,
                           std::vector<std::array<index_t, 3>> triangles,
                           std::vector<std::array<index_t, 3>> beside)
    : points_{std::move(points)},
      triangles_{std::move(triangles)},
      beside_{std::move(beside)} {}

namespace {
// The nodes of the trees over n and n + 1 triangles, each inner node halving its range:
// one step per halving.
std::pair<index_t, index_t> tree_sizes(index_t n) {
  if (n <= leaf_size) return {1, n + 1 <= leaf_size ? 1 : 3};
  const auto [half, half_and_one] = tree_sizes(n / 2);
  if (n % 2 == 0) return {1 + 2 * half, 1 + half + half_and_one};
  return {1 + half + half_and_one, 1 + 2 * half_and_one};
}
index_t tree_size(index_t n) { return tree_sizes(n).first; }
}  // namespace

void ClosestPoint::build_tree() const {
  std::vector<Vec3> centroids(triangles_.size());
  order_.resize(triangles_.size());
  for (index_t t = 0; t < triangles_.size(); ++t) {
    const auto& v = triangles_[t];
    centroids[t] = (points_[v[0]] + points_[v[1]] + points_[v[2]]) * (1.0 / 3);
    order_[t] = t;
  }
  const auto size = static_cast<index_t>(triangles_.size());
  nodes_.resize(tree_size(size));
  build(0, 0, size, centroids);
}

// Nodes are numbered depth first, left before right: a subtree's place is known before
// it is made, so large halves are made side by side.
void ClosestPoint::build(index_t node, index_t begin, index_t end,
                         const std::vector<Vec3>& centroids) const {
  Vec3 low{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
           std::numeric_limits<double>::max()};
  Vec3 high = low * -1.0;
  for (index_t i = begin; i < end; ++i) {
    for (const index_t v : triangles_[order_[i]]) {
      for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::min(low[axis], points_[v][axis]);
        high[axis] = std::max(high[axis], points_[v][axis]);
      }
    }
  }
  if (end - begin <= leaf_size) {
    nodes_[node] = {low, high, begin, end - begin, 0, 0};
    return;
  }
  // Split at the median centroid along the longest side.
  int axis = 0;
  for (int a = 1; a < 3; ++a) {
    if (high[a] - low[a] > high[axis] - low[axis]) axis = a;
  }
  const index_t middle = begin + (end - begin) / 2;
  std::nth_element(order_.begin() + begin, order_.begin() + middle, order_.begin() + end,
                   [&](index_t x, index_t y) {
                     return centroids[x][axis] < centroids[y][axis] ||
                            (centroids[x][axis] == centroids[y][axis] && x < y);
                   });
  const index_t left = node + 1;
  const index_t right = left + tree_size(middle - begin);
  nodes_[node] = {low, high, 0, 0, left, right};
  if (end - begin < 16384) {
    build(left, begin, middle, centroids);
    build(right, middle, end, centroids);
  } else {
    tbb::parallel_invoke([&] { build(left, begin, middle, centroids); },
                         [&] { build(right, middle, end, centroids); });
  }
}

double ClosestPoint::box_distance2(const Node& node, const Vec3& p) {
  double d2 = 0;
  for (int axis = 0; axis < 3; ++axis) {
    const double d = std::max({node.low[axis] - p[axis], 0.0, p[axis] - node.high[axis]});
    d2 += d * d;
  }
  return d2;
}

std::pair<Vec3, bool> ClosestPoint::on_triangle(const Vec3& query, index_t t) const {
  const auto& v = triangles_[t];
  const Vec3& a = points_[v[0]];
  const Vec3& b = points_[v[1]];
  const Vec3& c = points_[v[2]];
  const Vec3 p = closest_point_on_triangle(query, a, b, c);
  // Inside: the query's projection onto the plane falls within all three edges, and the
  // query is near the plane for the triangle's size, so nothing else can be nearer.
  const Vec3 n = normal(a, b, c);
  const bool inside = dot(normal(a, b, p), n) > 0 && dot(normal(b, c, p), n) > 0 &&
                      dot(normal(c, a, p), n) > 0;
  const Vec3 off = query - p;
  const double shortest =
      std::min({dot(b - a, b - a), dot(c - b, c - b), dot(a - c, a - c)});
  return {p, inside && dot(off, off) <= 1e-4 * shortest};
}

ClosestPoint::Hit ClosestPoint::closest(const Vec3& query, index_t guess) const {
  if (guess != karvel::NO_ID && guess < triangles_.size()) {
    // Walk from the guess to the nearer of the triangles beside it, while one is.
    index_t current = guess;
    auto [point, inside] = on_triangle(query, current);
    for (int step = 0; step < 64 && !inside; ++step) {
      const Vec3 off = point - query;
      double nearest = dot(off, off);
      index_t next = karvel::NO_ID;
      std::pair<Vec3, bool> next_hit{};
      for (const index_t t : beside_[current]) {
        if (t == karvel::NO_ID) continue;
        const auto hit = on_triangle(query, t);
        const Vec3 d = hit.first - query;
        if (hit.second || dot(d, d) < nearest) {
          nearest = hit.second ? -1 : dot(d, d);
          next = t;
          next_hit = hit;
        }
      }
      if (next == karvel::NO_ID) break;
      current = next;
      std::tie(point, inside) = next_hit;
    }
    if (inside) return {point, current};
  }
  return nearest(query, guess);
}

ClosestPoint::Hit ClosestPoint::nearest(const Vec3& query, index_t guess) const {
  // Isolated: while it waits for its halves, the thread must not take up another
  // query that would wait on this same tree.
  std::call_once(tree_made_,
                 [this] { tbb::this_task_arena::isolate([this] { build_tree(); }); });
  Hit best{query, karvel::NO_ID};
  double best2 = std::numeric_limits<double>::max();
  const auto consider = [&](index_t t) {
    const auto& v = triangles_[t];
    const Vec3 p =
        closest_point_on_triangle(query, points_[v[0]], points_[v[1]], points_[v[2]]);
    const Vec3 d = p - query;
    const double d2 = dot(d, d);
    // Ties go to the lower index: the same answer whatever the guess.
    if (d2 < best2 || (d2 == best2 && t < best.triangle)) {
      best2 = d2;
      best = {p, t};
    }
  };
  if (guess != karvel::NO_ID && guess < triangles_.size()) consider(guess);
  // Depth first, the nearer child first; boxes farther than the best are skipped.
  index_t stack[128];
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[stack[--top]];
    if (box_distance2(node, query) > best2) continue;
    if (node.count > 0) {
      for (index_t i = node.first; i < node.first + node.count; ++i) consider(order_[i]);
      continue;
    }
    const bool left_first = box_distance2(nodes_[node.left], query) <=
                            box_distance2(nodes_[node.right], query);
    stack[top++] = left_first ? node.right : node.left;
    stack[top++] = left_first ? node.left : node.right;
  }
  return best;
}

}  // namespace vemra::remesher
