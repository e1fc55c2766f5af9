#pragma once

namespace vemra {

// The order in which a refinement splits its candidates. Both give the same guarantees:
// every longest edge within twice the size, conformity, every angle at least half the
// input's smallest (longest-edge propagation keeps it in any order).
enum class SplitOrder {
  // The longest candidate first, ties as a standard binary heap breaks them: one global
  // order, exactly repeatable against the reference refinement.
  exact,
  // Candidates by length bands of a factor of about 2^(1/16), the longest band first,
  // the most recently queued first within a band: the triangles a split just made are
  // split next, while they are in cache. About twice the speed, and within a fraction of
  // a percent of the exact order's triangle count.
  banded,
};

}  // namespace vemra
