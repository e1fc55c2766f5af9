#include "soup.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vemra::tool {

void Soup::shrink_to_fit() {
  points.shrink_to_fit();
  triangles.shrink_to_fit();
  patches.shrink_to_fit();
  patch_names.shrink_to_fit();
  triangle_records.shrink_to_fit();
  point_ids.shrink_to_fit();
}

std::string Soup::triangle_place(index_t triangle) const {
  const std::string at = std::to_string(triangle_records.at(triangle));
  return record.empty() ? name + ":" + at : name + ": " + record + " " + at;
}

std::string Soup::triangle_record(index_t triangle) const {
  return (record.empty() ? "line " : record + " ") +
         std::to_string(triangle_records.at(triangle));
}

std::string Soup::point_name(index_t point) const {
  if (!point_ids.empty()) return "vertex " + std::to_string(point_ids.at(point));
  if (!welded) return "vertex " + std::to_string(std::uint64_t{point} + 1);
  const auto& p = points.at(point);
  return "the vertex at (" + number_text(p.value(0)) + ", " + number_text(p.value(1)) +
         ", " + number_text(p.value(2)) + ")";
}

std::string number_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof(text), value);
  return std::string(text, result.ptr);
}

std::string count_text(double count) {
  if (!std::isfinite(count)) return "uncountably many";
  char text[32];
  std::snprintf(text, sizeof text, count < 1e15 ? "%.0f" : "%.3g", count);
  return text;
}

}  // namespace vemra::tool
