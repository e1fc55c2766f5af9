#pragma once

#include <array>
#include <cstddef>
#include <string>

#include <karvel/model/from_patches.h>

#include "soup.h"

namespace vemra::tool {

// What check_soup() dropped at the user's request.
struct Dropped {
  std::size_t zero_area{0};
  std::size_t repeated{0};
};

// Whether three points lie on one line (exactly: a triangle of no area).
bool on_one_line(const std::array<double, 3>& a, const std::array<double, 3>& b,
                 const std::array<double, 3>& c);

// Refuses a soup without triangles, and, unless `drop` (then they are removed and
// counted), triangles of zero area (a repeated vertex, or three points on a line) and
// faces that repeat an earlier one in either orientation. Throws InputError naming the
// line (or record) and the vertices.
Dropped check_soup(Soup& soup, bool drop);

// The message for a patch decomposition that cannot form surfaces, in the file's terms:
// the lines of the triangles, the vertices counted from 1.
std::string topology_message(const Soup& soup, const karvel::PatchTopologyError& error);

}  // namespace vemra::tool
