#include "options.h"

#include <charconv>
#include <cmath>

#include "soup.h"

namespace vemra::tool {

const char* const usage =
    "usage: vemra-refine [INPUT] [-o OUTPUT] [--size H | --size-expr EXPR] [--section]\n"
    "                    [--threads N] [--stats json] [--picture FILE.svg] [--no-check]\n"
    "  INPUT   a mesh file (.obj, .off, .ply, .stl) or sample:layers (default) or\n"
    "          sample:section\n"
    "  -o      an output folder (default vemra-out: model.obj, model.vtp, picture.svg,\n"
    "          stats.json) or a single .obj or .vtp file\n";

namespace {

double parse_number(const std::string& option, const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
    throw InputError{option + ": '" + text + "' is not a number"};
  }
  return value;
}

}  // namespace

Options parse_options(const std::vector<std::string>& arguments) {
  Options options;
  bool has_input = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw InputError{argument + ": a value is missing"};
      return arguments[++i];
    };
    if (argument == "-o" || argument == "--output") {
      options.output = value();
    } else if (argument == "--size") {
      options.size = parse_number(argument, value());
    } else if (argument == "--size-expr") {
      options.size_expression = value();
    } else if (argument == "--section") {
      options.section = true;
    } else if (argument == "--threads") {
      const double threads = parse_number(argument, value());
      if (!(threads >= 1 && threads <= 1024) || threads != std::floor(threads)) {
        throw InputError{"--threads: expected a whole number from 1 to 1024"};
      }
      options.threads = static_cast<unsigned>(threads);
    } else if (argument == "--stats") {
      if (value() != "json") throw InputError{"--stats: the only format is 'json'"};
      options.json = true;
    } else if (argument == "--picture") {
      options.picture = value();
    } else if (argument == "--no-check") {
      options.check = false;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (!argument.empty() && argument[0] == '-') {
      throw InputError{argument + ": unknown option"};
    } else if (has_input) {
      throw InputError{argument + ": only one input is taken"};
    } else {
      options.input = argument;
      has_input = true;
    }
  }
  if (options.size && options.size_expression) {
    throw InputError{"--size and --size-expr: give one of them"};
  }
  return options;
}

}  // namespace vemra::tool
