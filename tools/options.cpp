#include "options.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "soup.h"

namespace vemra::tool {

const char* const usage =
    "usage: vemra-refine [INPUT] [-o OUTPUT] [--size H | --size-expr EXPR] [--section]\n"
    "                    [--threads N] [--stats json] [--picture FILE.svg] [--no-check]\n"
    "                    [--drop-degenerate] [--max-triangles N] [--compress] "
    "[--version]\n"
    "                    [--order exact|banded]\n"
    "                    [--remesh [--iterations N] [--feature-angle DEGREES]]\n"
    "  INPUT   a mesh file (.obj, .off, .ply, .stl, .ts) or sample:layers (default) or\n"
    "          sample:section\n"
    "  -o      an output folder (default vemra-out: model.obj, model.vtp, picture.svg,\n"
    "          stats.json) or a single .obj, .vtp, .ts (TSurf) or .msh (gmsh 4.1) file\n"
    "  --drop-degenerate  drop zero-area triangles and repeated faces (refused "
    "otherwise)\n"
    "  --max-triangles N  refuse a refinement to more triangles (default: what fits in\n"
    "          half of this machine's memory)\n"
    "  --remesh  remesh to the size instead of refining: edges about H long, coarser\n"
    "          where the input is finer, triangles near equilateral; lines and corners\n"
    "          kept, edges of a surface sharper than --feature-angle (default 40) kept "
    "as\n"
    "          creases; --iterations rounds (default 5)\n"
    "Options that take a value also take it as --option=VALUE.\n"
    "Exit status: 0 done; 2 bad input or options (nothing written); 3 the refined model\n"
    "failed its check or the size bound; 4 stopped at --max-triangles (nothing "
    "written);\n"
    "5 out of memory (nothing written).\n";

const char* const version_text = "vemra-refine 0.1.0\n";

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
  std::string remesh_only;  // an option that means something only with --remesh
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    // --option=value stands for --option value.
    std::string argument = arguments[i];
    std::optional<std::string> attached;
    if (const auto equals = argument.find('=');
        argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      attached = argument.substr(equals + 1);
      argument.resize(equals);
    }
    bool used_attached = false;
    const auto value = [&]() -> std::string {
      if (attached) {
        used_attached = true;
        return *attached;
      }
      if (i + 1 >= arguments.size()) throw InputError{argument + ": a value is missing"};
      return arguments[++i];
    };
    if (argument == "-o" || argument == "--output") {
      options.output = value();
    } else if (argument == "--size") {
      options.size = parse_number(argument, value());
      if (!(std::isfinite(*options.size) && *options.size > 0)) {
        throw InputError{"--size: the size must be a positive number, not " +
                         number_text(*options.size)};
      }
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
    } else if (argument == "--drop-degenerate") {
      options.drop_degenerate = true;
    } else if (argument == "--compress") {
      options.compress = true;
    } else if (argument == "--remesh") {
      options.remesh = true;
    } else if (argument == "--iterations") {
      const double rounds = parse_number(argument, value());
      if (!(rounds >= 1 && rounds <= 100 && rounds == std::floor(rounds))) {
        throw InputError{"--iterations: a whole number from 1 to 100"};
      }
      options.iterations = static_cast<int>(rounds);
      remesh_only = argument;
    } else if (argument == "--feature-angle") {
      const double angle = parse_number(argument, value());
      if (!(angle > 0 && angle < 180)) {
        throw InputError{"--feature-angle: degrees, more than 0 and less than 180"};
      }
      options.feature_angle = angle;
      remesh_only = argument;
    } else if (argument == "--order") {
      const auto order = value();
      if (order != "exact" && order != "banded") {
        throw InputError{"--order: 'exact' or 'banded', not '" + order + "'"};
      }
      options.order = order == "exact" ? SplitOrder::exact : SplitOrder::banded;
    } else if (argument == "--max-triangles") {
      const double limit = parse_number(argument, value());
      if (!(limit >= 1 && limit <= 1e15) || limit != std::floor(limit)) {
        throw InputError{"--max-triangles: expected a whole number from 1 to 1e15"};
      }
      options.max_triangles = limit;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (!argument.empty() && argument[0] == '-') {
      throw InputError{argument + ": unknown option"};
    } else if (has_input) {
      throw InputError{argument + ": only one input is taken"};
    } else {
      options.input = argument;
      has_input = true;
    }
    if (attached && !used_attached) throw InputError{argument + ": takes no value"};
  }
  if (options.size && options.size_expression) {
    throw InputError{"--size and --size-expr: give one of them"};
  }
  if (!remesh_only.empty() && !options.remesh) {
    throw InputError{remesh_only + ": only with --remesh"};
  }
  return options;
}

}  // namespace vemra::tool
