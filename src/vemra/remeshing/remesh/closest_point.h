#pragma once

// The closest point of a triangle mesh to a query point. From a starting guess (the
// triangle a vertex was last projected onto) it walks to the triangle beside it that is
// nearer, while one is: where the query lies just over the inside of a triangle (a
// hundredth of its shortest edge away at most) that is the answer, as for a vertex moved
// a little along the surface. Otherwise a bounding-box tree over the triangles, made on
// first need, is searched, nearest box first.

#include <array>
#include <mutex>
#include <utility>
#include <vector>

#include "vec3.h"

namespace vemra::remesher {

Vec3 closest_point_on_triangle(const Vec3& p, const Vec3& a, const Vec3& b,
                               const Vec3& c);

class ClosestPoint {
 public:
  // `beside[t][e]`: the triangle across edge e (from vertex e to e + 1) of t, or NO_ID.
  ClosestPoint(std::vector<Vec3> points, std::vector<std::array<index_t, 3>> triangles,
               std::vector<std::array<index_t, 3>> beside);

  struct Hit {
    Vec3 point;
    index_t triangle;
  };
  // REQUIRES: at least one triangle; `guess` a triangle index or NO_ID. Safe beside
  // other calls on the same object.
  Hit closest(const Vec3& query, index_t guess) const;
  // The nearest point of all, by the tree alone (the guess only bounds the search): for
  // where being near is not enough, and a walk could step onto a sheet folded close by.
  Hit nearest(const Vec3& query, index_t guess) const;

 private:
  struct Node {
    Vec3 low, high;
    index_t first{0};  // a leaf's entries of order_: [first, first + count)
    index_t count{0};  // 0 for an inner node
    index_t left{0}, right{0};
  };
  void build_tree() const;
  void build(index_t node, index_t begin, index_t end,
             const std::vector<Vec3>& centroids) const;
  // The closest point of triangle t, and whether it lies inside it (not on its border),
  // the query near it.
  std::pair<Vec3, bool> on_triangle(const Vec3& query, index_t t) const;
  static double box_distance2(const Node& node, const Vec3& p);

  std::vector<Vec3> points_;
  std::vector<std::array<index_t, 3>> triangles_;
  std::vector<std::array<index_t, 3>> beside_;
  // Made on first need, once whatever the threads.
  mutable std::once_flag tree_made_;
  mutable std::vector<index_t> order_;
  mutable std::vector<Node> nodes_;
};

}  // namespace vemra::remesher
