// Readers for OBJ, OFF, PLY and STL, written for strictness: every number and index is
// checked, and every error names the file and the line (or the element of a binary file).

#include "mesh_readers.h"

#include "ply_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include <absl/container/flat_hash_map.h>

namespace vemra::tool {
namespace {

[[noreturn]] void fail(const std::string& where, const std::string& message) {
  throw InputError{where + ": " + message};
}

std::string at_line(const std::string& name, std::size_t line) {
  return name + ":" + std::to_string(line);
}

double parse_double(std::string_view token, const std::string& where) {
  double value = 0;
  const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
  if (result.ec != std::errc{} || result.ptr != token.data() + token.size()) {
    fail(where, "'" + std::string{token} + "' is not a number");
  }
  if (!std::isfinite(value))
    fail(where, "coordinate '" + std::string{token} + "' is not finite");
  return value;
}

long long parse_integer(std::string_view token, const std::string& where) {
  long long value = 0;
  const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
  if (result.ec != std::errc{} || result.ptr != token.data() + token.size()) {
    fail(where, "'" + std::string{token} + "' is not an integer");
  }
  return value;
}

std::vector<std::string_view> split_words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Lines with their numbers, comments (from '#') removed.
struct Lines {
  explicit Lines(const std::string& content) : content_{content} {}
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
  std::size_t position_{0};
  std::size_t number_{0};
};

// A polygon of vertex indices becomes triangles (a fan from its first vertex).
void add_polygon(Soup& soup, const std::vector<index_t>& polygon, index_t patch,
                 const std::string& where) {
  if (polygon.size() < 3) fail(where, "a face needs at least three vertices");
  for (std::size_t i = 1; i + 1 < polygon.size(); ++i) {
    soup.triangles.push_back({polygon[0], polygon[i], polygon[i + 1]});
    soup.patches.push_back(patch);
  }
}

index_t checked_index(long long index, std::size_t nb_points, const std::string& where) {
  if (index < 0 || static_cast<unsigned long long>(index) >= nb_points) {
    fail(where, "vertex index " + std::to_string(index) + " is out of range (" +
                    std::to_string(nb_points) + " vertices)");
  }
  return static_cast<index_t>(index);
}

Soup parse_obj(const std::string& content, const std::string& name) {
  Soup soup;
  absl::flat_hash_map<std::string, index_t> patch_of_name;
  index_t patch = 0;
  bool has_patch = false;
  // Face indices refer to the vertices read so far (1-based, or negative from the end).
  Lines lines{content};
  std::string_view line;
  std::vector<index_t> polygon;
  while (lines.next(line)) {
    const auto words = split_words(line);
    if (words.empty()) continue;
    const std::string where = at_line(name, lines.number());
    if (words[0] == "v") {
      if (words.size() < 4) fail(where, "a vertex needs three coordinates");
      soup.points.emplace_back(std::array<double, 3>{parse_double(words[1], where),
                                                     parse_double(words[2], where),
                                                     parse_double(words[3], where)});
    } else if (words[0] == "g" || words[0] == "o") {
      // The rest of the line, so that a name with spaces reads back as it was written.
      const auto rest = line.substr(line.find(words[0]) + 1);
      const auto first = rest.find_first_not_of(" \t");
      const auto last = rest.find_last_not_of(" \t");
      const std::string group = first == std::string_view::npos
                                    ? std::string{}
                                    : std::string{rest.substr(first, last - first + 1)};
      const auto [found, inserted] =
          patch_of_name.emplace(group, static_cast<index_t>(soup.patch_names.size()));
      if (inserted) soup.patch_names.push_back(group);
      patch = found->second;
      has_patch = true;
    } else if (words[0] == "f") {
      if (!has_patch) {
        const auto [found, inserted] =
            patch_of_name.emplace("", static_cast<index_t>(soup.patch_names.size()));
        if (inserted) soup.patch_names.emplace_back();
        patch = found->second;
        has_patch = true;
      }
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
      add_polygon(soup, polygon, patch, where);
    }
  }
  return soup;
}

// Whitespace-separated tokens with the line each stands on.
struct Tokens {
  explicit Tokens(const std::string& content) : lines_{content} {}
  std::string_view next(const std::string& name, const char* expected) {
    while (index_ >= words_.size()) {
      std::string_view line;
      if (!lines_.next(line))
        fail(name, std::string{"the file ends where "} + expected + " should be");
      words_ = split_words(line);
      index_ = 0;
    }
    return words_[index_++];
  }
  std::string where(const std::string& name) const {
    return at_line(name, lines_.number());
  }

 private:
  Lines lines_;
  std::vector<std::string_view> words_;
  std::size_t index_{0};
};

Soup parse_off(const std::string& content, const std::string& name) {
  Soup soup;
  Tokens tokens{content};
  const auto header = tokens.next(name, "the OFF header");
  if (header != "OFF")
    fail(tokens.where(name), "expected 'OFF', found '" + std::string{header} + "'");
  const auto nb_vertices =
      parse_integer(tokens.next(name, "the vertex count"), tokens.where(name));
  const auto nb_faces =
      parse_integer(tokens.next(name, "the face count"), tokens.where(name));
  parse_integer(tokens.next(name, "the edge count"), tokens.where(name));
  if (nb_vertices < 0 || nb_faces < 0) fail(tokens.where(name), "negative element count");
  for (long long v = 0; v < nb_vertices; ++v) {
    std::array<double, 3> xyz{};
    for (auto& value : xyz)
      value = parse_double(tokens.next(name, "a coordinate"), tokens.where(name));
    soup.points.emplace_back(xyz);
  }
  std::vector<index_t> polygon;
  for (long long f = 0; f < nb_faces; ++f) {
    const auto size = parse_integer(tokens.next(name, "a face size"), tokens.where(name));
    if (size < 3 || size > 1000000)
      fail(tokens.where(name), "a face has " + std::to_string(size) + " vertices");
    polygon.clear();
    for (long long i = 0; i < size; ++i) {
      const std::string where = tokens.where(name);
      polygon.push_back(
          checked_index(parse_integer(tokens.next(name, "a vertex index"), where),
                        soup.points.size(), where));
    }
    add_polygon(soup, polygon, 0, tokens.where(name));
  }
  return soup;
}

// Exact-position welding for formats that repeat the vertices of every triangle.
struct Welder {
  index_t add(Soup& soup, const std::array<double, 3>& xyz) {
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
  Welder welder;
  if (content.size() >= 84) {
    std::uint32_t count = 0;
    std::memcpy(&count, content.data() + 80, 4);
    if (content.size() == 84 + 50 * static_cast<std::size_t>(count)) {
      for (std::uint32_t t = 0; t < count; ++t) {
        const char* facet = content.data() + 84 + 50 * static_cast<std::size_t>(t) + 12;
        std::array<index_t, 3> triangle{};
        for (int v = 0; v < 3; ++v) {
          float xyz[3];
          std::memcpy(xyz, facet + 12 * v, 12);
          for (const float value : xyz) {
            if (!std::isfinite(value)) {
              fail(name + ": triangle " + std::to_string(t),
                   "a coordinate is not finite");
            }
          }
          triangle[v] = welder.add(soup, {xyz[0], xyz[1], xyz[2]});
        }
        soup.triangles.push_back(triangle);
      }
      soup.patches.assign(soup.triangles.size(), 0);
      return soup;
    }
  }
  Lines lines{content};
  std::string_view line;
  std::vector<index_t> facet;
  bool solid = false;
  while (lines.next(line)) {
    const auto words = split_words(line);
    if (words.empty()) continue;
    const std::string where = at_line(name, lines.number());
    if (words[0] == "solid") {
      solid = true;
    } else if (!solid) {
      fail(where, "expected 'solid' (or a binary STL of matching size)");
    } else if (words[0] == "vertex") {
      if (words.size() != 4) fail(where, "a vertex needs three coordinates");
      facet.push_back(
          welder.add(soup, {parse_double(words[1], where), parse_double(words[2], where),
                            parse_double(words[3], where)}));
    } else if (words[0] == "endloop") {
      if (facet.size() != 3)
        fail(where, "a facet has " + std::to_string(facet.size()) + " vertices, not 3");
      soup.triangles.push_back({facet[0], facet[1], facet[2]});
      facet.clear();
    }
  }
  if (!solid) fail(name, "empty STL file");
  soup.patches.assign(soup.triangles.size(), 0);
  return soup;
}

}  // namespace

Soup parse_soup(const std::string& format, const std::string& content,
                const std::string& name) {
  if (format == "obj") return parse_obj(content, name);
  if (format == "off") return parse_off(content, name);
  if (format == "ply") return parse_ply(content, name);
  if (format == "stl") return parse_stl(content, name);
  throw InputError{name + ": unknown format '" + format +
                   "' (expected obj, off, ply or stl)"};
}

Soup read_soup(const std::string& path) {
  const auto dot = path.rfind('.');
  std::string format = dot == std::string::npos ? "" : path.substr(dot + 1);
  std::transform(format.begin(), format.end(), format.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (format != "obj" && format != "off" && format != "ply" && format != "stl") {
    throw InputError{path + ": unknown format '" + format +
                     "' (expected .obj, .off, .ply or .stl)"};
  }
  std::ifstream file{path, std::ios::binary};
  if (!file)
    throw InputError{path + ": cannot open the file (" + std::strerror(errno) + ")"};
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) throw InputError{path + ": cannot read the file"};
  return parse_soup(format, content.str(), path);
}

}  // namespace vemra::tool
