#pragma once

#include <optional>
#include <string>
#include <vector>

#include <vemra/split_order.h>

namespace vemra::tool {

struct Options {
  std::string input = "sample:layers";
  std::string output = "vemra-out";
  std::optional<double> size;
  std::optional<std::string> size_expression;
  bool section = false;
  std::optional<unsigned> threads;
  bool json = false;
  std::optional<std::string> picture;
  bool check = true;
  bool help = false;
  bool version = false;
  // Drop zero-area triangles and repeated faces instead of refusing the file.
  bool drop_degenerate = false;
  // zlib-compressed VTP.
  bool compress = false;
  SplitOrder order = SplitOrder::banded;
  // Remesh to the size instead of refining: finer and coarser, triangles near
  // equilateral.
  bool remesh = false;
  int iterations = 5;
  double feature_angle = 40;
  // Refuse a refinement estimated, or found, to make more triangles; unset: what fits in
  // half of the machine's memory.
  std::optional<double> max_triangles;
};

// Throws InputError naming the option for anything it cannot use.
Options parse_options(const std::vector<std::string>& arguments);

extern const char* const usage;
extern const char* const version_text;

}  // namespace vemra::tool
