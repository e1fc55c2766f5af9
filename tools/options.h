#pragma once

#include <optional>
#include <string>
#include <vector>

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
};

// Throws InputError naming the option for anything it cannot use.
Options parse_options(const std::vector<std::string>& arguments);

extern const char* const usage;

}  // namespace vemra::tool
