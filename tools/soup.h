#pragma once

// A triangle soup as a file gives it: points, triangles, a patch per triangle and the
// patch names (OBJ groups), before it becomes a model.

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include <karvel/geometry/point.h>

namespace vemra::tool {

using karvel::index_t;

struct Soup {
  std::vector<karvel::Point<3>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> patches;
  std::vector<std::string> patch_names;  // by patch index; may be empty
};

// Bad input from the user (a file, an option): the message names the file, line or
// element. The tool prints it on one line and exits with status 2.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vemra::tool
