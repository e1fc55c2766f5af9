#pragma once

// Triangle soups for the benchmarks: a regular grid and an icosphere.

#include "fixtures.h"

namespace bench {

using karvel::index_t;

template <index_t D>
using Soup = fixtures::Soup<D>;

// The unit square cut into n x n cells of two triangles, one patch: the tests' grid.
template <index_t D>
Soup<D> grid(index_t n) {
  return fixtures::grid_soup<D>(n);
}

// The unit sphere from an icosahedron whose faces are split in four `levels` times:
// 20 * 4^levels triangles, one patch: the tests' icosphere.
inline Soup<3> icosphere(int levels) { return fixtures::icosphere_soup(levels); }

}  // namespace bench
