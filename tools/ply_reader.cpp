#include "ply_reader.h"

#include "text_parsing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sstream>

namespace vemra::tool {
namespace {

enum class Encoding { ascii, little_endian, big_endian };

struct Property {
  std::string name;
  std::string type;        // scalar type, or the item type of a list
  std::string count_type;  // empty unless a list
};

struct Element {
  std::string name;
  long long count;
  std::vector<Property> properties;
};

std::size_t type_size(const std::string& type, const std::string& where) {
  if (type == "char" || type == "uchar" || type == "int8" || type == "uint8") return 1;
  if (type == "short" || type == "ushort" || type == "int16" || type == "uint16")
    return 2;
  if (type == "int" || type == "uint" || type == "int32" || type == "uint32" ||
      type == "float" || type == "float32") {
    return 4;
  }
  if (type == "double" || type == "float64") return 8;
  fail(where, "unknown PLY type '" + type + "'");
}

// Reads values one at a time from the body, in either encoding.
class Body {
 public:
  Body(const std::string& content, std::size_t start, Encoding encoding,
       const std::string& name)
      : content_{content}, position_{start}, encoding_{encoding}, name_{name} {}

  double value(const std::string& type, const std::string& element) {
    return encoding_ == Encoding::ascii ? ascii_value(element)
                                        : binary_value(type, element);
  }

 private:
  double ascii_value(const std::string& element) {
    while (position_ < content_.size() && is_space(content_[position_])) {
      ++position_;
    }
    const std::size_t start = position_;
    while (position_ < content_.size() && !is_space(content_[position_])) {
      ++position_;
    }
    if (start == position_) fail(name_ + ": " + element, "the file ends early");
    double value = 0;
    const auto result =
        std::from_chars(content_.data() + start, content_.data() + position_, value);
    if (result.ec != std::errc{} || result.ptr != content_.data() + position_) {
      fail(name_ + ": " + element,
           "'" + content_.substr(start, position_ - start) + "' is not a number");
    }
    return value;
  }

  double binary_value(const std::string& type, const std::string& element) {
    const std::size_t size = type_size(type, name_);
    if (position_ + size > content_.size())
      fail(name_ + ": " + element, "the file ends early");
    unsigned char bytes[8];
    std::memcpy(bytes, content_.data() + position_, size);
    position_ += size;
    const bool little_host = [] {
      const std::uint16_t one = 1;
      unsigned char first;
      std::memcpy(&first, &one, 1);
      return first == 1;
    }();
    if ((encoding_ == Encoding::little_endian) != little_host)
      std::reverse(bytes, bytes + size);
    const auto read = [&bytes](auto value) {
      std::memcpy(&value, bytes, sizeof(value));
      return static_cast<double>(value);
    };
    if (type == "char" || type == "int8") return read(std::int8_t{});
    if (type == "uchar" || type == "uint8") return read(std::uint8_t{});
    if (type == "short" || type == "int16") return read(std::int16_t{});
    if (type == "ushort" || type == "uint16") return read(std::uint16_t{});
    if (type == "int" || type == "int32") return read(std::int32_t{});
    if (type == "uint" || type == "uint32") return read(std::uint32_t{});
    if (type == "float" || type == "float32") return read(float{});
    return read(double{});
  }

  const std::string& content_;
  std::size_t position_;
  Encoding encoding_;
  const std::string& name_;
};

bool is_integer_type(const std::string& type) {
  return type != "float" && type != "float32" && type != "double" && type != "float64";
}

// What the body is read for: x, y and z once each, scalar, in a vertex element that
// comes before the faces; vertex_indices (or vertex_index) an integer list.
void validate(const std::vector<Element>& elements, const std::string& name) {
  bool vertices = false;
  bool faces = false;
  for (const auto& element : elements) {
    const std::string where = name + ": element '" + element.name + "'";
    if (element.name == "vertex") {
      vertices = true;
      for (const char* axis : {"x", "y", "z"}) {
        const auto found = std::find_if(
            element.properties.begin(), element.properties.end(),
            [axis](const Property& property) { return property.name == axis; });
        if (found == element.properties.end()) {
          fail(where, std::string{"no property '"} + axis + "'");
        }
        if (!found->count_type.empty()) {
          fail(where, std::string{"property '"} + axis + "' is a list, not a number");
        }
      }
    } else if (element.name == "face") {
      if (!vertices) fail(where, "faces before the vertices");
      faces = true;
      const auto found = std::find_if(
          element.properties.begin(), element.properties.end(),
          [](const Property& property) {
            return property.name == "vertex_indices" || property.name == "vertex_index";
          });
      if (found == element.properties.end()) fail(where, "no property 'vertex_indices'");
      if (found->count_type.empty() || !is_integer_type(found->count_type) ||
          !is_integer_type(found->type)) {
        fail(where, "'" + found->name + "' is not a list of integers");
      }
    }
  }
  if (!vertices) fail(name, "no 'vertex' element");
  if (!faces) fail(name, "no 'face' element");
}

}  // namespace

Soup parse_ply(const std::string& content, const std::string& name) {
  // A UTF-8 byte-order mark is not part of the header.
  const std::size_t bom = content.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  const std::size_t end = content.find("\nend_header");
  std::istringstream header{
      content.substr(bom, end == std::string::npos ? std::string::npos : end + 64 - bom)};
  std::string line;
  std::size_t number = 0;
  const auto where = [&] { return name + ":" + std::to_string(number); };
  Encoding encoding = Encoding::ascii;
  std::vector<Element> elements;
  bool ended = false;
  while (std::getline(header, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words{line};
    std::string keyword;
    words >> keyword;
    if (number == 1) {
      if (keyword != "ply") fail(where(), "expected 'ply'");
    } else if (keyword == "format") {
      std::string format;
      words >> format;
      if (format == "ascii")
        encoding = Encoding::ascii;
      else if (format == "binary_little_endian")
        encoding = Encoding::little_endian;
      else if (format == "binary_big_endian")
        encoding = Encoding::big_endian;
      else
        fail(where(), "unknown PLY format '" + format + "'");
    } else if (keyword == "element") {
      Element element;
      std::string count;
      words >> element.name >> count;
      long long value = -1;
      const auto parsed =
          std::from_chars(count.data(), count.data() + count.size(), value);
      if (parsed.ec != std::errc{} || parsed.ptr != count.data() + count.size() ||
          value < 0) {
        fail(where(), "bad element count '" + count + "'");
      }
      for (const auto& other : elements) {
        if (other.name == element.name)
          fail(where(), "a second '" + element.name + "' element");
      }
      element.count = value;
      elements.push_back(element);
    } else if (keyword == "property") {
      if (elements.empty()) fail(where(), "a property before any element");
      Property property;
      std::string type;
      words >> type;
      if (type == "list") {
        words >> property.count_type >> property.type;
        type_size(property.count_type, where());
      } else {
        property.type = type;
      }
      type_size(property.type, where());
      words >> property.name;
      for (const auto& other : elements.back().properties) {
        if (other.name == property.name) {
          fail(where(), "a second '" + property.name + "' property");
        }
      }
      elements.back().properties.push_back(property);
    } else if (keyword == "end_header") {
      ended = true;
      break;
    } else if (keyword != "comment" && keyword != "obj_info" && !keyword.empty()) {
      fail(where(), "unknown header line '" + line + "'");
    }
  }
  if (!ended) fail(name, "no 'end_header' line");
  const auto start = bom + static_cast<std::size_t>(header.tellg());
  validate(elements, name);

  Soup soup;
  soup.name = name;
  soup.record = "face";
  Body body{content, start, encoding, name};
  std::vector<index_t> polygon;
  for (const auto& element : elements) {
    const bool vertices = element.name == "vertex";
    const bool faces = element.name == "face";
    for (long long e = 0; e < element.count; ++e) {
      const std::string label = element.name + " " + std::to_string(e + 1);
      std::array<double, 3> xyz{};
      polygon.clear();
      for (const auto& property : element.properties) {
        if (property.count_type.empty()) {
          const double value = body.value(property.type, label);
          if (vertices &&
              (property.name == "x" || property.name == "y" || property.name == "z")) {
            if (!std::isfinite(value))
              fail(name + ": " + label, "a coordinate is not finite");
            xyz[property.name[0] - 'x'] = value;
          }
          continue;
        }
        const double count = body.value(property.count_type, label);
        if (!(count >= 0 && count <= 1e6) || count != std::floor(count)) {
          fail(name + ": " + label, "bad list size");
        }
        const bool indices = faces && (property.name == "vertex_indices" ||
                                       property.name == "vertex_index");
        for (int i = 0; i < static_cast<int>(count); ++i) {
          const double index = body.value(property.type, label);
          if (!indices) continue;
          if (!(index >= 0 && index < 4294967295.0) || index != std::floor(index)) {
            fail(name + ": " + label, "bad vertex index");
          }
          polygon.push_back(static_cast<index_t>(index));
        }
      }
      if (vertices) soup.points.emplace_back(xyz);
      if (faces) {
        if (polygon.size() < 3)
          fail(name + ": " + label, "a face needs at least three vertices");
        for (const index_t index : polygon) {
          if (index >= soup.points.size()) {
            fail(name + ": " + label,
                 "vertex index " + std::to_string(index) + " is out of range (" +
                     std::to_string(soup.points.size()) + " vertices)");
          }
        }
        for (std::size_t i = 1; i + 1 < polygon.size(); ++i) {
          soup.add_triangle({polygon[0], polygon[i], polygon[i + 1]}, 0,
                            static_cast<std::uint64_t>(e) + 1);
        }
      }
    }
  }
  return soup;
}

}  // namespace vemra::tool
