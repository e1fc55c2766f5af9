#pragma once

// A surface cut along the creases that part it into regions, so that the regions can be
// remeshed side by side: a region is what its triangles reach across edges that are no
// creases (or lie on a line, which stays shared); the crease edges between two regions
// form chains, which are then resampled as lines are.

#include <array>
#include <functional>
#include <vector>

#include "vec3.h"

namespace vemra::remesher {

struct CreaseCut {
  // The triangles of each region, increasing; a single region when nothing parts it.
  std::vector<std::vector<index_t>> regions;
  struct Chain {
    std::vector<index_t> vertices;  // a closed chain ends at its first again
    bool closed{false};
  };
  // The parting crease edges, joined from stop to stop: a vertex where other than two of
  // them meet, or where `is_stop` says (on a line, a corner).
  std::vector<Chain> chains;
};

// An edge is a crease where its two triangles' normals part by more than
// `feature_angle` (radians). `beside[t][e]`: the triangle across edge e of t, or NO_ID.
CreaseCut cut_at_creases(const std::vector<Vec3>& points,
                         const std::vector<std::array<index_t, 3>>& triangles,
                         const std::vector<std::array<index_t, 3>>& beside,
                         double feature_angle,
                         const std::function<bool(index_t, index_t)>& on_line,
                         const std::function<bool(index_t)>& is_stop);

}  // namespace vemra::remesher
