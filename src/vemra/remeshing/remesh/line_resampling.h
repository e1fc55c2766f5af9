#pragma once

// A line of the input as one chain of its vertices, and the new vertices placed along it
// at about the size apart.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <utility>

#include <karvel/mesh/edged_curve.h>

#include "vec3.h"

namespace vemra::remesher {

struct LineChain {
  std::vector<index_t>
      vertices;  // input line vertices in order; a loop repeats its first
  bool closed{false};
};

// Throws karvel::KarvelException when the line is not one simple curve (a vertex of more
// than two edges, or pieces apart). A loop starts at `start` when it is one of its
// vertices (a corner), else at its vertex 0.
template <index_t D>
LineChain chain_of(const karvel::EdgedCurve<D>& line, index_t start);

// An edge's length over the size at its middle: the remesher splits an edge above
// long_ratio. The line and every surface it bounds evaluate it alike, bit for bit, so
// they split the same edges at the same points.
constexpr double long_ratio = 4.0 / 3.0;
double edge_ratio(const Vec3& a, const Vec3& b,
                  const std::function<double(const Vec3&)>& size);

// The new vertices of a line, in chain order (a loop's first is not repeated at its end).
struct LinePoints {
  std::vector<Vec3> positions;
  // For each chain vertex, its new vertex, or NO_ID where the line drops it.
  std::vector<index_t> of_chain_vertex;
  // For each chain edge, the new vertices inside it: (t along it, new vertex), by t.
  std::vector<std::vector<std::pair<double, index_t>>> inside_edge;
  // The new vertices that bisection made, by their coordinates' bits.
  absl::flat_hash_map<std::array<std::uint64_t, 3>, index_t> of_midpoint;
  index_t find_midpoint(const Vec3& p) const;
};

// Keeps the chain vertices flagged in `kept` (the ends always). Between two of them, a
// single input edge is bisected at its midpoint, recursively, while above long_ratio;
// several input edges are resampled evenly in the metric's length, the new vertices on
// them (an input vertex where one falls a hair from it), the other input vertices
// dropped; enough new vertices that the input turns through no more than
// `feature_angle` (radians) along each new edge.
LinePoints resample(const std::vector<Vec3>& chain_points, std::vector<bool> kept,
                    bool closed, double feature_angle,
                    const std::function<double(const Vec3&)>& size);

}  // namespace vemra::remesher
