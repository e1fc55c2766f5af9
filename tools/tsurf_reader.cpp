#include "tsurf_reader.h"

#include "text_parsing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

namespace vemra::tool {
namespace {

// Lines that carry nothing this reader needs.
const absl::flat_hash_set<std::string_view>& skipped_keywords() {
  static const absl::flat_hash_set<std::string_view> keywords{"BSTONE",
                                                              "BORDER",
                                                              "PROPERTIES",
                                                              "PROP_LEGAL_RANGES",
                                                              "NO_DATA_VALUES",
                                                              "PROPERTY_CLASSES",
                                                              "PROPERTY_KINDS",
                                                              "PROPERTY_SUBCLASSES",
                                                              "ESIZES",
                                                              "UNITS",
                                                              "NAME",
                                                              "AXIS_NAME",
                                                              "AXIS_UNIT",
                                                              "GEOLOGICAL_FEATURE",
                                                              "GEOLOGICAL_TYPE",
                                                              "STRATIGRAPHIC_POSITION",
                                                              "PROPERTY_CLASS",
                                                              "PROPERTY",
                                                              "CRS",
                                                              "PROJECTION",
                                                              "DATUM",
                                                              "SOURCE_TYPE"};
  return keywords;
}

}  // namespace

Soup parse_tsurf(const std::string& content, const std::string& name) {
  Soup soup;
  soup.name = name;
  // Per object: its points by number, its name, its faces so far.
  absl::flat_hash_map<std::uint64_t, index_t> point_of;
  // The points of the objects read so far, by position (their coordinates' bits).
  absl::flat_hash_map<std::array<std::uint64_t, 3>, index_t> earlier_objects;
  index_t first_of_object = 0;
  std::string object_name;
  index_t object_faces = 0;
  bool in_object = false;
  bool depth = false;
  bool in_coordinates = false;
  int braces = 0;  // inside a { ... } block of the header or property classes
  index_t patch = 0;
  const auto start_face = [&] {
    ++object_faces;
    patch = static_cast<index_t>(soup.patch_names.size());
    soup.patch_names.push_back(object_faces == 1
                                   ? object_name
                                   : object_name + " " + std::to_string(object_faces));
  };
  std::size_t position = content.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  std::uint64_t number_of_line = 0;
  while (position < content.size()) {
    const std::size_t end = std::min(content.find('\n', position), content.size());
    std::string_view line = std::string_view{content}.substr(position, end - position);
    position = end + 1;
    ++number_of_line;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = name + ":" + std::to_string(number_of_line);
    const auto words = split_words(line);
    if (words.empty() || words[0][0] == '#') continue;
    if (braces > 0) {
      // Header keys ("name:horizon") and other block contents.
      if (words[0].rfind("name:", 0) == 0 && in_object) {
        const auto colon = line.find(':');
        const auto value = line.substr(colon + 1);
        const auto first = value.find_first_not_of(" \t");
        object_name = first == std::string_view::npos
                          ? std::string{}
                          : std::string{value.substr(
                                first, value.find_last_not_of(" \t") - first + 1)};
      }
      if (words.back() == "}" || words[0] == "}") --braces;
      continue;
    }
    if (words.back() == "{") {
      ++braces;
      continue;
    }
    const std::string_view keyword = words[0];
    if (keyword == "GOCAD") {
      if (in_object) fail(where, "a new object before the END of the last one");
      if (words.size() < 2 || words[1] != "TSurf") {
        fail(where, "not a TSurf object ('" + std::string{line} + "')");
      }
      in_object = true;
      point_of.clear();
      first_of_object = static_cast<index_t>(soup.points.size());
      object_name = "object " + std::to_string(soup.patch_names.size() + 1);
      object_faces = 0;
      depth = false;
      continue;
    }
    if (!in_object)
      fail(where, "'" + std::string{keyword} + "' outside a GOCAD TSurf object");
    if (keyword == "END") {
      in_object = false;
      for (index_t p = first_of_object; p < soup.points.size(); ++p) {
        std::array<std::uint64_t, 3> key;
        std::memcpy(key.data(), &soup.points[p], sizeof(key));
        earlier_objects.emplace(key, p);
      }
    } else if (keyword == "GOCAD_ORIGINAL_COORDINATE_SYSTEM") {
      in_coordinates = true;
    } else if (keyword == "END_ORIGINAL_COORDINATE_SYSTEM") {
      in_coordinates = false;
    } else if (keyword == "ZPOSITIVE") {
      if (words.size() != 2 || (words[1] != "Depth" && words[1] != "Elevation")) {
        fail(where, "ZPOSITIVE is Depth or Elevation");
      }
      depth = words[1] == "Depth";
    } else if (keyword == "TFACE") {
      start_face();
    } else if (keyword == "VRTX" || keyword == "PVRTX") {
      if (words.size() < 5) fail(where, "a vertex needs a number and three coordinates");
      const std::uint64_t vertex = parse_unsigned(words[1], where);
      double z = parse_double(words[4], where);
      if (depth) z = -z;
      const std::array<double, 3> xyz{parse_double(words[2], where) + 0.0,
                                      parse_double(words[3], where) + 0.0, z + 0.0};
      // Objects meet where their points coincide: a point of an earlier object at the
      // same position is this one.
      std::array<std::uint64_t, 3> key;
      std::memcpy(key.data(), xyz.data(), sizeof(key));
      const auto earlier = earlier_objects.find(key);
      const index_t point = earlier != earlier_objects.end()
                                ? earlier->second
                                : index_t(soup.points.size());
      if (!point_of.emplace(vertex, point).second) {
        fail(where, "vertex " + std::to_string(vertex) + " is given twice");
      }
      if (point == soup.points.size()) {
        soup.points.emplace_back(xyz);
        soup.point_ids.push_back(vertex);
      }
    } else if (keyword == "ATOM" || keyword == "PATOM") {
      if (words.size() < 3)
        fail(where, "an atom needs its number and the vertex it repeats");
      const std::uint64_t vertex = parse_unsigned(words[1], where);
      const auto target = point_of.find(parse_unsigned(words[2], where));
      if (target == point_of.end()) {
        fail(where, "atom " + std::to_string(vertex) + " repeats vertex " +
                        std::string{words[2]} + ", which is not given before it");
      }
      // By value: the emplace may move the entry that `target` points at.
      const index_t point = target->second;
      if (!point_of.emplace(vertex, point).second) {
        fail(where, "vertex " + std::to_string(vertex) + " is given twice");
      }
    } else if (keyword == "TRGL") {
      if (words.size() != 4) fail(where, "a triangle needs three vertex numbers");
      if (object_faces == 0) start_face();
      std::array<index_t, 3> triangle{};
      for (int i = 0; i < 3; ++i) {
        const auto found = point_of.find(parse_unsigned(words[i + 1], where));
        if (found == point_of.end()) {
          fail(where,
               "vertex " + std::string{words[i + 1]} + " is not given in this object");
        }
        triangle[i] = found->second;
      }
      soup.add_triangle(triangle, patch, number_of_line);
    } else if (!in_coordinates && !skipped_keywords().contains(keyword)) {
      fail(where, "unknown TSurf line '" + std::string{keyword} + "'");
    }
  }
  if (in_object) fail(name, "the file ends before the END of its last object");
  if (braces > 0) fail(name, "the file ends inside a { } block");
  return soup;
}

}  // namespace vemra::tool
