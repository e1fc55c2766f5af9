// Readers for OBJ, OFF, PLY and STL, written for strictness: every number and index is
// checked, and every error names the file and the line (or the element of a binary file).

#include "mesh_readers.h"

#include "ply_reader.h"
#include "text_parsing.h"
#include "tsurf_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <absl/container/flat_hash_map.h>

namespace vemra::tool {
namespace {

std::string at_line(const std::string& name, std::size_t line) {
  return name + ":" + std::to_string(line);
}

// Lines with their numbers, comments (from '#') removed.
struct Lines {
  // A UTF-8 byte-order mark is not part of the first line.
  explicit Lines(const std::string& content)
      : content_{content}, position_{content.rfind("\xEF\xBB\xBF", 0) == 0 ? 3u : 0u} {}
  bool next(std::string_view& line) {
    if (position_ >= content_.size()) return false;
    const std::size_t end = std::min(content_.find('\n', position_), content_.size());
    line = std::string_view{content_}.substr(position_, end - position_);
    if (const auto hash = line.find('#'); hash != std::string_view::npos)
      line = line.substr(0, hash);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    position_ = end + 1;
    ++number_;
    return true;
  }
  std::size_t number() const { return number_; }

 private:
  const std::string& content_;
  std::size_t position_;
  std::size_t number_{0};
};

// A polygon of vertex indices becomes triangles (a fan from its first vertex), each
// recorded as read at `record`.
void add_polygon(Soup& soup, const std::vector<index_t>& polygon, index_t patch,
                 std::uint64_t record, const std::string& where) {
  if (polygon.size() < 3) fail(where, "a face needs at least three vertices");
  for (std::size_t i = 1; i + 1 < polygon.size(); ++i) {
    soup.add_triangle({polygon[0], polygon[i], polygon[i + 1]}, patch, record);
  }
}

index_t checked_index(long long index, std::size_t nb_points, const std::string& where) {
  if (index < 0 || static_cast<unsigned long long>(index) >= nb_points) {
    fail(where, "vertex index " + std::to_string(index) + " is out of range (" +
                    std::to_string(nb_points) + " vertices)");
  }
  return static_cast<index_t>(index);
}

// The rest of a line after its keyword, trimmed: a name with spaces reads back as it was
// written.
std::string rest_of(std::string_view line, std::string_view keyword) {
  const auto rest = line.substr(line.find(keyword) + keyword.size());
  const auto first = rest.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string{rest.substr(first, rest.find_last_not_of(" \t") - first + 1)};
}

Soup parse_obj(const std::string& content, const std::string& name) {
  Soup soup;
  soup.name = name;
  // A surface per group that holds faces, named after it: a g line names the faces that
  // follow, an o line (a new object) too until a g line; groups without faces make no
  // surface.
  absl::flat_hash_map<std::string, index_t> patch_of_name;
  std::string group;
  // Face indices refer to the vertices read so far (1-based, or negative from the end).
  Lines lines{content};
  std::string_view line;
  std::vector<index_t> polygon;
  while (lines.next(line)) {
    const auto words = split_words(line);
    if (words.empty()) continue;
    const std::string where = at_line(name, lines.number());
    if (words[0] == "v") {
      // x y z, x y z w (w = 1 only: no projective points), or x y z r g b.
      if (words.size() != 4 && words.size() != 5 && words.size() != 7) {
        fail(where, "a vertex line has " + std::to_string(words.size() - 1) +
                        " numbers (3, 4 with w = 1, or 6 with a colour)");
      }
      if (words.size() == 5 && parse_double(words[4], where) != 1.0) {
        fail(where, "a vertex weight other than 1");
      }
      soup.points.emplace_back(std::array<double, 3>{parse_double(words[1], where),
                                                     parse_double(words[2], where),
                                                     parse_double(words[3], where)});
    } else if (words[0] == "g" || words[0] == "o") {
      group = rest_of(line, words[0]);
    } else if (words[0] == "f") {
      const auto [found, inserted] =
          patch_of_name.emplace(group, static_cast<index_t>(soup.patch_names.size()));
      if (inserted) soup.patch_names.push_back(group);
      polygon.clear();
      for (std::size_t w = 1; w < words.size(); ++w) {
        const auto vertex = words[w].substr(0, words[w].find('/'));
        const long long written = parse_integer(vertex, where);
        const long long index = written < 0
                                    ? static_cast<long long>(soup.points.size()) + written
                                    : written - 1;
        if (written == 0 || index < 0 ||
            index >= static_cast<long long>(soup.points.size())) {
          fail(where, "vertex " + std::string{vertex} + " is out of range (" +
                          std::to_string(soup.points.size()) + " vertices so far)");
        }
        polygon.push_back(static_cast<index_t>(index));
      }
      add_polygon(soup, polygon, found->second, lines.number(), where);
    }
  }
  return soup;
}

// The next line that holds something, split into words; fails at the end of the file.
std::vector<std::string_view> next_words(Lines& lines, const std::string& name,
                                         const char* expected) {
  std::string_view line;
  while (lines.next(line)) {
    auto words = split_words(line);
    if (!words.empty()) return words;
  }
  fail(name, std::string{"the file ends where "} + expected + " should be");
}

// OFF, one element a line: "OFF" (the counts may follow on the same line), the vertex,
// face and edge counts, a line of three coordinates per vertex, then a line per face:
// its size, its vertex indices (from 0) and, optionally, a colour, which is not read.
Soup parse_off(const std::string& content, const std::string& name) {
  Soup soup;
  soup.name = name;
  Lines lines{content};
  auto words = next_words(lines, name, "the OFF header");
  if (words[0] != "OFF") {
    fail(at_line(name, lines.number()),
         "expected 'OFF', found '" + std::string{words[0]} + "'");
  }
  words.erase(words.begin());
  if (words.empty()) words = next_words(lines, name, "the element counts");
  std::string where = at_line(name, lines.number());
  if (words.size() != 3) fail(where, "expected three counts: vertices, faces, edges");
  const long long nb_vertices = parse_integer(words[0], where);
  const long long nb_faces = parse_integer(words[1], where);
  parse_integer(words[2], where);
  if (nb_vertices < 0 || nb_faces < 0) fail(where, "negative element count");
  // As many as the file can hold (a vertex takes six bytes at least, a face eight): a
  // count that the file belies is found out below, not by a huge reservation.
  soup.points.reserve(std::min<std::size_t>(nb_vertices, content.size() / 6));
  const auto faces = std::min<std::size_t>(nb_faces, content.size() / 8);
  soup.triangles.reserve(faces);
  soup.patches.reserve(faces);
  soup.triangle_records.reserve(faces);
  for (long long v = 0; v < nb_vertices; ++v) {
    words = next_words(lines, name, "a vertex");
    where = at_line(name, lines.number());
    if (words.size() != 3) {
      fail(where,
           "a vertex line has " + std::to_string(words.size()) + " numbers, not three");
    }
    soup.points.emplace_back(std::array<double, 3>{parse_double(words[0], where),
                                                   parse_double(words[1], where),
                                                   parse_double(words[2], where)});
  }
  std::vector<index_t> polygon;
  for (long long f = 0; f < nb_faces; ++f) {
    words = next_words(lines, name, "a face");
    where = at_line(name, lines.number());
    const long long size = parse_integer(words[0], where);
    if (size < 3 || static_cast<unsigned long long>(size) >= words.size()) {
      fail(where, "a face of " + std::to_string(size) + " vertices lists " +
                      std::to_string(words.size() - 1) + " numbers");
    }
    polygon.clear();
    for (long long i = 1; i <= size; ++i) {
      polygon.push_back(
          checked_index(parse_integer(words[i], where), soup.points.size(), where));
    }
    add_polygon(soup, polygon, 0, lines.number(), where);
  }
  return soup;
}

// Exact-position welding for formats that repeat the vertices of every triangle.
struct Welder {
  index_t add(Soup& soup, std::array<double, 3> xyz) {
    for (double& value : xyz) value += 0.0;  // -0 becomes 0: one position, one vertex
    std::array<std::uint64_t, 3> key{};
    std::memcpy(key.data(), xyz.data(), sizeof(key));
    const auto [found, inserted] =
        index_.emplace(key, static_cast<index_t>(soup.points.size()));
    if (inserted) soup.points.emplace_back(xyz);
    return found->second;
  }
  absl::flat_hash_map<std::array<std::uint64_t, 3>, index_t> index_;
};

Soup parse_stl(const std::string& content, const std::string& name) {
  Soup soup;
  soup.name = name;
  soup.welded = true;
  Welder welder;
  if (content.size() >= 84) {
    std::uint32_t count = 0;
    std::memcpy(&count, content.data() + 80, 4);
    if (content.size() == 84 + 50 * static_cast<std::size_t>(count)) {
      soup.record = "facet";
      for (std::uint32_t t = 0; t < count; ++t) {
        const char* facet = content.data() + 84 + 50 * static_cast<std::size_t>(t) + 12;
        std::array<index_t, 3> triangle{};
        for (int v = 0; v < 3; ++v) {
          float xyz[3];
          std::memcpy(xyz, facet + 12 * v, 12);
          for (const float value : xyz) {
            if (!std::isfinite(value)) {
              fail(name + ": facet " + std::to_string(t + 1),
                   "a coordinate is not finite");
            }
          }
          triangle[v] = welder.add(soup, {xyz[0], xyz[1], xyz[2]});
        }
        soup.add_triangle(triangle, 0, t + 1);
      }
      return soup;
    }
  }
  // ASCII: solid, then per facet: facet normal, outer loop, three vertices, endloop,
  // endfacet; then endsolid. A facet cut short is an error, never dropped.
  Lines lines{content};
  std::string_view line;
  std::vector<index_t> facet;
  std::size_t facet_line = 0;  // where the open facet starts; 0 when none is open
  bool solid = false;
  bool ended = false;
  while (lines.next(line)) {
    const auto words = split_words(line);
    if (words.empty()) continue;
    const std::string where = at_line(name, lines.number());
    if (ended) fail(where, "text after 'endsolid'");
    if (!solid) {
      if (words[0] != "solid")
        fail(where, "expected 'solid' (or a binary STL of matching size)");
      solid = true;
    } else if (words[0] == "facet") {
      if (facet_line != 0) fail(where, "a facet starts inside another");
      facet_line = lines.number();
      facet.clear();
    } else if (words[0] == "vertex") {
      if (facet_line == 0) fail(where, "a vertex outside a facet");
      if (words.size() != 4) fail(where, "a vertex needs three coordinates");
      facet.push_back(
          welder.add(soup, {parse_double(words[1], where), parse_double(words[2], where),
                            parse_double(words[3], where)}));
    } else if (words[0] == "endloop") {
      if (facet.size() != 3)
        fail(where, "a facet has " + std::to_string(facet.size()) + " vertices, not 3");
    } else if (words[0] == "endfacet") {
      if (facet_line == 0) fail(where, "'endfacet' outside a facet");
      if (facet.size() != 3)
        fail(where, "a facet has " + std::to_string(facet.size()) + " vertices, not 3");
      soup.add_triangle({facet[0], facet[1], facet[2]}, 0, facet_line);
      facet_line = 0;
    } else if (words[0] == "endsolid") {
      if (facet_line != 0) fail(where, "'endsolid' inside a facet");
      ended = true;
    } else if (words[0] != "outer") {
      fail(where, "unexpected '" + std::string{words[0]} + "'");
    }
  }
  if (!solid) fail(name, "empty STL file");
  if (facet_line != 0) {
    fail(at_line(name, facet_line), "the file ends inside the facet that starts here");
  }
  if (!ended) fail(name, "the file ends before 'endsolid'");
  return soup;
}

Soup parse_format(const std::string& format, const std::string& content,
                  const std::string& name) {
  if (format == "obj") return parse_obj(content, name);
  if (format == "off") return parse_off(content, name);
  if (format == "ply") return parse_ply(content, name);
  if (format == "stl") return parse_stl(content, name);
  if (format == "ts") return parse_tsurf(content, name);
  throw InputError{name + ": unknown format '" + format +
                   "' (expected obj, off, ply, stl or ts)"};
}

// A regular file is read in one block of its size: streamed into a growing string, a
// file of hundreds of megabytes was copied and first touched several times over.
std::string file_content(const std::string& path) {
  std::ifstream file{path, std::ios::binary};
  if (!file)
    throw InputError{path + ": cannot open the file (" + std::strerror(errno) + ")"};
  std::string content;
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error)) {
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > 0) {
      content.resize(size);
      file.read(content.data(), static_cast<std::streamsize>(size));
      content.resize(static_cast<std::size_t>(file.gcount()));
    }
  }
  // What is left: all of a pipe, or what a file gained since its size was taken.
  if (file) {
    std::ostringstream rest;
    rest << file.rdbuf();
    content += rest.str();
  }
  if (file.bad()) throw InputError{path + ": cannot read the file"};
  return content;
}

}  // namespace

Soup parse_soup(const std::string& format, const std::string& content,
                const std::string& name) {
  Soup soup = parse_format(format, content, name);
  soup.shrink_to_fit();
  return soup;
}

Soup read_soup(const std::string& path) {
  const auto dot = path.rfind('.');
  std::string format = dot == std::string::npos ? "" : path.substr(dot + 1);
  std::transform(format.begin(), format.end(), format.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (format != "obj" && format != "off" && format != "ply" && format != "stl" &&
      format != "ts") {
    throw InputError{path + ": unknown format '" + format +
                     "' (expected .obj, .off, .ply, .stl or .ts)"};
  }
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw InputError{path + ": a folder, not a mesh file"};
  }
  return parse_soup(format, file_content(path), path);
}

}  // namespace vemra::tool
