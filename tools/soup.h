#pragma once

// A triangle soup as a file gives it: points, triangles, a patch per triangle and the
// patch names (OBJ groups), with where each triangle and point stands in the file, before
// it becomes a model.

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <karvel/geometry/point.h>

namespace vemra::tool {

using karvel::index_t;

struct Soup {
  std::string name;  // the file, for messages
  std::vector<karvel::Point<3>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> patches;
  std::vector<std::string> patch_names;  // by patch index; may be empty
  // Where each triangle was read: its line in a text file, or its record (counted from
  // 1) in a binary one, which `record` names ("face", "facet").
  std::vector<std::uint64_t> triangle_records;
  std::string record;  // empty for a text file
  // Points welded by position (STL) have no number in the file: messages give their
  // coordinates.
  bool welded{false};
  // The file's own number of each point, where it numbers them itself (TSurf); empty:
  // points are counted from 1 in the file's order.
  std::vector<std::uint64_t> point_ids;

  void add_triangle(const std::array<index_t, 3>& vertices, index_t patch,
                    std::uint64_t where) {
    triangles.push_back(vertices);
    patches.push_back(patch);
    triangle_records.push_back(where);
  }
  // Gives back what the arrays grew past their size: a model of many surfaces is built
  // while the soup is held.
  void shrink_to_fit();
  // "file.obj:12" or "file.stl: facet 7".
  std::string triangle_place(index_t triangle) const;
  // "line 12" or "facet 7".
  std::string triangle_record(index_t triangle) const;
  // "vertex 5" (the file's number, or counted from 1 in the file's order), or "the vertex
  // at (x, y, z)".
  std::string point_name(index_t point) const;
};

// Bad input from the user (a file, an option): the message names the file, line or
// element. The tool prints it on one line and exits with status 2.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes a number in its shortest form that reads back to the same double ("0.1", "-0",
// "1e+300"); NaN and infinities as "nan", "inf", "-inf".
std::string number_text(double value);

// A count of things as a whole number ("12800", "1.45e+17", or "uncountably many" for an
// infinite one), for estimates and limits.
std::string count_text(double count);

}  // namespace vemra::tool
