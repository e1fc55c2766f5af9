// read (file or sample) -> check the soup (degenerate and repeated faces) -> model ->
// size field (guarded: a bad size anywhere is exit 2) -> output paths checked -> estimate
// against --max-triangles -> the picture's left side -> refine in place (progress line,
// limit) -> measure -> write every output all or nothing, the model check beside the
// writers -> summary.

#include "refine_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <future>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <tbb/global_control.h>

#include <karvel/basic/exception.h>
#include <karvel/model/checker.h>
#include <karvel/model/from_patches.h>
#include <vemra/refine.h>
#include <vemra/remesh.h>
#include <vemra/remeshing/model_kind.h>

#include "mesh_readers.h"
#include "model_writers.h"
#include "options.h"
#include "output_files.h"
#include "samples.h"
#include "size_fields.h"
#include "soup_check.h"
#include "statistics.h"
#include "svg_picture.h"

namespace vemra::tool {
namespace {

template <typename Model>
using Kind = ModelKind<Model>;

class Stopwatch {
 public:
  double lap() {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - start_).count();
    start_ = now;
    return seconds;
  }

 private:
  std::chrono::steady_clock::time_point start_{std::chrono::steady_clock::now()};
};

template <typename Model>
struct Input {
  Model model;
  std::unique_ptr<Metric<Kind<Model>::dimension>> sample_size;
  std::string sample_size_description;
  Dropped dropped;
};

// The surfaces of a file's model are named after its groups, where it has them: the
// model has a surface per patch value that triangles carry, in increasing order.
template <typename Model, typename Builder>
Model named(Model model, const Soup& soup) {
  std::vector<index_t> values = soup.patches;
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  Builder builder{model};
  std::size_t next = 0;
  for (const auto& surface : model.surfaces()) {
    const index_t patch = values.at(next++);
    if (patch < soup.patch_names.size() && !soup.patch_names[patch].empty()) {
      builder.set_name(surface.component_id(), soup.patch_names[patch]);
    }
  }
  return model;
}

// The model of a checked soup; a decomposition that cannot form surfaces is an
// InputError in the file's terms.
template <typename Model, typename Builder, typename Build>
Input<Model> model_input(const Soup& soup, const Dropped& dropped, const Build& build) {
  try {
    return {named<Model, Builder>(build(), soup), nullptr, "", dropped};
  } catch (const karvel::PatchTopologyError& error) {
    throw InputError{topology_message(soup, error)};
  } catch (const karvel::KarvelException& error) {
    throw InputError{soup.name + ": " + error.what()};
  }
}

Input<karvel::BRep> brep_input(const Soup& soup, const Dropped& dropped) {
  return model_input<karvel::BRep, karvel::BRepBuilder>(soup, dropped, [&soup] {
    return karvel::brep_from_patches(soup.points, soup.triangles, soup.patches);
  });
}

Input<karvel::Section> section_input(const Soup& soup, const Dropped& dropped) {
  std::vector<Point<2>> points;
  points.reserve(soup.points.size());
  for (index_t v = 0; v < soup.points.size(); ++v) {
    if (soup.points[v].value(2) != 0) {
      throw InputError{soup.name + ": " + soup.point_name(v) +
                       " has z = " + number_text(soup.points[v].value(2)) +
                       "; --section takes a model in the plane z = 0"};
    }
    points.push_back(Point<2>{{soup.points[v].value(0), soup.points[v].value(1)}});
  }
  return model_input<karvel::Section, karvel::SectionBuilder>(soup, dropped, [&] {
    return karvel::section_from_patches(points, soup.triangles, soup.patches);
  });
}

template <typename Model>
double bounding_box_diagonal(const Model& model) {
  constexpr index_t D = Kind<Model>::dimension;
  std::array<double, D> low, high;
  low.fill(1e300);
  high.fill(-1e300);
  for (const auto& surface : model.surfaces()) {
    const auto& mesh = surface.get_mesh();
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      for (index_t axis = 0; axis < D; ++axis) {
        low[axis] = std::min(low[axis], mesh.point(v).value(axis));
        high[axis] = std::max(high[axis], mesh.point(v).value(axis));
      }
    }
  }
  double sum = 0;
  for (index_t axis = 0; axis < D; ++axis) {
    if (high[axis] >= low[axis])
      sum += (high[axis] - low[axis]) * (high[axis] - low[axis]);
  }
  return std::sqrt(sum);
}

std::string json_string(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

struct Summary {
  std::string input;
  std::string size;
  std::string order;
  bool remeshed{false};
  std::string remesh_settings;
  Shape shape_before, shape_after;  // remeshing only
  MeshFigures before, after;
  Dropped dropped;
  double estimate;
  double max_edge_ratio;
  double read, refine, check, write;
  double fill, loop, clean;  // the refinement's own phases, within `refine`
  double lines, surfaces;    // the remeshing's, within `refine`
  std::vector<std::string> problems;
  bool checked;
};

// A JSON number, or null where there is none (NaN and the infinities are not JSON).
std::string json_number(double value) {
  return std::isfinite(value) ? number_text(value) : "null";
}

std::string spread_json(const Spread& spread) {
  return "{\"smallest\": " + json_number(spread.smallest) +
         ", \"q01\": " + json_number(spread.q01) +
         ", \"median\": " + json_number(spread.median) + "}";
}

std::string summary_json(const Summary& s) {
  std::ostringstream json;
  json << "{\"input\": " << json_string(s.input) << ", \"size\": " << json_string(s.size);
  if (s.remeshed) {
    json << ", \"mode\": \"remesh\", \"remesh\": " << json_string(s.remesh_settings)
         << ", \"angles\": {\"before\": " << spread_json(s.shape_before.angles)
         << ", \"after\": " << spread_json(s.shape_after.angles) << "}"
         << ", \"edge_over_size\": {\"before\": " << spread_json(s.shape_before.lengths)
         << ", \"after\": " << spread_json(s.shape_after.lengths) << "}";
  } else {
    json << ", \"mode\": \"refine\", \"order\": " << json_string(s.order)
         << ", \"splits\": " << s.after.model_vertices - s.before.model_vertices
         << ", \"max_edge_ratio\": " << json_number(s.max_edge_ratio);
  }
  json << ", \"surfaces\": " << s.after.surfaces << ", \"lines\": " << s.after.lines
       << ", \"triangles_before\": " << s.before.triangles
       << ", \"triangles_after\": " << s.after.triangles
       << ", \"triangles_estimated\": " << json_number(std::round(s.estimate))
       << ", \"dropped_zero_area\": " << s.dropped.zero_area
       << ", \"dropped_repeated\": " << s.dropped.repeated
       << ", \"seconds\": {\"read\": " << json_number(s.read);
  if (s.remeshed) {
    json << ", \"remesh\": " << json_number(s.refine)
         << ", \"lines\": " << json_number(s.lines)
         << ", \"surfaces\": " << json_number(s.surfaces);
  } else {
    json << ", \"refine\": " << json_number(s.refine)
         << ", \"fill\": " << json_number(s.fill) << ", \"loop\": " << json_number(s.loop)
         << ", \"clean\": " << json_number(s.clean);
  }
  json << ", \"check\": " << json_number(s.check)
       << ", \"write\": " << json_number(s.write) << "}"
       << ", \"min_angle_before\": " << json_number(s.before.min_angle)
       << ", \"min_angle_after\": " << json_number(s.after.min_angle) << ", \"check\": ";
  if (!s.checked) {
    json << "\"skipped\"";
  } else if (s.problems.empty()) {
    json << "\"ok\"";
  } else {
    json << "[";
    for (std::size_t i = 0; i < s.problems.size(); ++i) {
      json << (i ? ", " : "") << json_string(s.problems[i]);
    }
    json << "]";
  }
  json << "}\n";
  return json.str();
}

// Fixed decimals for the table; "none" where there is no value.
std::string fixed(double value, int decimals) {
  if (!std::isfinite(value)) return "none";
  char text[64];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  return text;
}

std::string spread_text(const Spread& spread, int decimals) {
  return fixed(spread.smallest, decimals) + " / " + fixed(spread.q01, decimals) + " / " +
         fixed(spread.median, decimals);
}

std::string summary_table(const Summary& s) {
  std::ostringstream table;
  table << "input              " << s.input << "\n"
        << "size               " << s.size << "\n";
  if (s.remeshed) {
    table << "mode               remesh (" << s.remesh_settings << ")\n";
  } else {
    table << "split order        " << s.order << "\n";
  }
  table << "surfaces, lines    " << s.after.surfaces << ", " << s.after.lines << "\n"
        << "triangles          " << s.before.triangles << " -> " << s.after.triangles
        << " (estimated " << fixed(s.estimate, 0) << ")\n";
  if (s.dropped.zero_area + s.dropped.repeated > 0) {
    table << "dropped            " << s.dropped.zero_area << " zero-area triangles, "
          << s.dropped.repeated << " repeated faces\n";
  }
  if (s.remeshed) {
    table << "angles             " << spread_text(s.shape_before.angles, 2) << " -> "
          << spread_text(s.shape_after.angles, 2)
          << " degrees (smallest / 1 % / median)\n"
          << "edge/size          " << spread_text(s.shape_before.lengths, 3) << " -> "
          << spread_text(s.shape_after.lengths, 3) << "\n"
          << "seconds            read " << fixed(s.read, 3) << ", remesh "
          << fixed(s.refine, 3) << " (lines " << fixed(s.lines, 3) << ", surfaces "
          << fixed(s.surfaces, 3) << ")";
  } else {
    table << "splits             " << s.after.model_vertices - s.before.model_vertices
          << "\n"
          << "smallest angle     " << fixed(s.before.min_angle, 2) << " -> "
          << fixed(s.after.min_angle, 2) << " degrees\n"
          << "largest edge/size  " << fixed(s.max_edge_ratio, 3)
          << " (longest edge / twice the size at its midpoint)\n"
          << "seconds            read " << fixed(s.read, 3) << ", refine "
          << fixed(s.refine, 3) << " (fill " << fixed(s.fill, 3) << ", loop "
          << fixed(s.loop, 3) << ", clean-up " << fixed(s.clean, 3) << ")";
  }
  table << ", write " << fixed(s.write, 3) << ", check " << fixed(s.check, 3)
        << " (beside the write)\n"
        << "model check        "
        << (!s.checked           ? "skipped"
            : s.problems.empty() ? "ok"
                                 : "FAILED")
        << "\n";
  return table.str();
}

bool ends_with(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char c = text[text.size() - end.size() + i];
    if (std::tolower(static_cast<unsigned char>(c)) != end[i]) return false;
  }
  return true;
}

// The refinement ran into --max-triangles: exit 4.
class TooManyTriangles : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a run writes, from the options alone.
struct Outputs {
  bool single_file;
  std::vector<std::string>
      paths;  // in folder mode: model.obj, model.vtp, stats.json, ...
};

Outputs output_paths(const Options& options) {
  Outputs outputs;
  outputs.single_file =
      ends_with(options.output, ".obj") || ends_with(options.output, ".vtp") ||
      ends_with(options.output, ".ts") || ends_with(options.output, ".msh");
  if (outputs.single_file) {
    outputs.paths.push_back(options.output);
  } else {
    std::error_code error;
    if (std::filesystem::exists(options.output, error) &&
        !std::filesystem::is_directory(options.output, error)) {
      throw InputError{options.output +
                       ": not a folder (name a .obj or .vtp file, or a folder)"};
    }
    for (const char* name : {"model.obj", "model.vtp", "stats.json"})
      outputs.paths.push_back(options.output + "/" + name);
    if (!options.picture) outputs.paths.push_back(options.output + "/picture.svg");
  }
  if (options.picture) outputs.paths.push_back(*options.picture);
  return outputs;
}

// Refines `model` in place, with the progress line and the --max-triangles limit.
template <typename Model, index_t D>
RefineReport refine_in_place(Model& model, const Metric<D>& size, const Options& options,
                             bool record_origins, double limit, double estimate) {
  RefineOptions refine_options;
  refine_options.record_origins = record_origins;
  refine_options.order = options.order;
  const bool progress_line = ::isatty(STDERR_FILENO);
  bool over_limit = false;
  refine_options.progress = [&](const RefineProgress& progress) {
    if (double(progress.triangles) > limit) {
      over_limit = true;
      return false;
    }
    if (progress_line) {
      std::fprintf(stderr, "\rrefining: %2.0f%% (estimate)",
                   100 * std::min(0.99, double(progress.triangles) / estimate));
    }
    return true;
  };
  RefineReport report;
  try {
    report = vemra::refine(model, size, refine_options);
  } catch (const std::domain_error& error) {
    throw InputError{std::string{"size field: "} + error.what()};
  }
  if (progress_line) std::fprintf(stderr, "\r\033[K");
  if (over_limit) {
    throw TooManyTriangles{"stopped at " + std::to_string(report.triangles_after) +
                           " triangles, over the limit of " + count_text(limit) +
                           " (raise it with --max-triangles); nothing written"};
  }
  return report;
}

template <typename Model>
int refine(const Options& options, const Outputs& outputs, OutputFiles& files,
           Input<Model> input, double read_seconds, std::ostream& out,
           std::ostream& err) {
  using K = Kind<Model>;
  constexpr index_t D = K::dimension;
  Summary summary{};
  summary.input = options.input;
  summary.read = read_seconds;
  summary.dropped = input.dropped;
  summary.order = options.order == SplitOrder::exact ? "exact" : "banded";

  std::unique_ptr<Metric<D>> size;
  if (options.size) {
    size = std::make_unique<UniformSize<D>>(*options.size);
    summary.size = "uniform " + number_text(*options.size);
  } else if (options.size_expression) {
    try {
      size = std::make_unique<ExpressionSize<D>>(*options.size_expression);
    } catch (const InputError& error) {
      throw InputError{std::string{"--size-expr: "} + error.what()};
    }
    summary.size = *options.size_expression;
  } else if (input.sample_size) {
    size = std::move(input.sample_size);
    summary.size = input.sample_size_description;
  } else {
    const double diagonal = bounding_box_diagonal(input.model);
    size = std::make_unique<UniformSize<D>>(diagonal / 50);
    summary.size =
        "uniform " + number_text(diagonal / 50) + " (bounding-box diagonal / 50)";
  }
  const GuardedSize<D> guarded{*size};

  const bool single_file = outputs.single_file;
  const auto& paths = outputs.paths;

  summary.before = measure(input.model);
  const double limit =
      options.max_triangles ? *options.max_triangles : default_max_triangles();
  summary.estimate = estimate_triangles(
      input.model, guarded, options.remesh ? Meshing::remesh : Meshing::refine);
  if (summary.estimate > limit) {
    throw InputError{"size field: about " + count_text(summary.estimate) +
                     " triangles expected, more than the limit of " + count_text(limit) +
                     " (raise it with --max-triangles)"};
  }
  Stopwatch watch;
  // The picture's left side is drawn now: no copy of the input is kept.
  const bool draws_picture = options.picture || !single_file;
  SvgPanel before_panel;
  if (draws_picture) before_panel = svg_panel(input.model, "before", false);
  // Only VTK files carry the origins: 4 bytes a triangle and a list per surface.
  const bool record_origins =
      std::any_of(paths.begin(), paths.end(),
                  [](const std::string& path) { return ends_with(path, ".vtp"); });
  RefineReport report;
  RemeshReport remesh_report;
  Model remeshed;
  if (options.remesh) {
    summary.remeshed = true;
    summary.remesh_settings = std::to_string(options.iterations) +
                              " rounds, creases sharper than " +
                              number_text(options.feature_angle) + " degrees";
    summary.shape_before = shape(input.model, guarded);
    RemeshOptions remesh_options;
    remesh_options.iterations = options.iterations;
    remesh_options.feature_angle = options.feature_angle;
    remesh_options.record_origins = record_origins;
    const bool progress_line = ::isatty(STDERR_FILENO);
    remesh_options.progress = [progress_line](const RemeshProgress& progress) {
      if (progress_line) {
        std::fprintf(stderr, "\rremeshing: %zu of %zu surfaces", progress.surfaces_done,
                     progress.surfaces);
      }
      return true;
    };
    remesh_report = vemra::remesh(input.model, remeshed, guarded, remesh_options);
    if (progress_line) std::fprintf(stderr, "\r\033[K");
    if (double(remesh_report.triangles_after) > limit) {
      throw TooManyTriangles{"remeshed to " +
                             std::to_string(remesh_report.triangles_after) +
                             " triangles, over the limit of " + count_text(limit) +
                             " (raise it with --max-triangles); nothing written"};
    }
    summary.lines = remesh_report.line_seconds;
    summary.surfaces = remesh_report.surface_seconds;
  } else {
    report = refine_in_place(input.model, guarded, options, record_origins, limit,
                             summary.estimate);
    summary.fill = report.fill_seconds;
    summary.loop = report.split_seconds;
    summary.clean = report.clean_seconds;
  }
  const Model& refined = options.remesh ? remeshed : input.model;
  summary.refine = watch.lap();
  if (options.remesh) {
    summary.after = measure(refined);
    summary.shape_after = shape(refined, guarded);
  } else {
    std::tie(summary.after, summary.max_edge_ratio) = measure_refined(refined, guarded);
  }
  summary.checked = options.check;
  // The check only reads the model, as the writers do: it runs beside them, on a thread
  // of its own, and its verdict is in before anything is committed.
  // Its future waits in its destructor: the writers never leave while it reads.
  std::future<std::pair<std::vector<std::string>, double>> checking;
  if (options.check) {
    checking = std::async(std::launch::async, [&refined] {
      Stopwatch check_watch;
      auto problems = karvel::check_model(refined).problems;
      return std::make_pair(std::move(problems), check_watch.lap());
    });
  }

  const auto write = [&](std::size_t index, const std::string& path) {
    if (ends_with(path, ".obj")) {
      files.write(index, [&](TextWriter& w) { write_obj(refined, w); });
    } else if (ends_with(path, ".vtp")) {
      files.write(index, [&](TextWriter& w) {
        write_vtp(refined, options.remesh ? &remesh_report.origins : &report.origins,
                  options.compress, w);
      });
    } else if (ends_with(path, ".ts")) {
      files.write(index, [&](TextWriter& w) { write_tsurf(refined, w); });
    } else if (ends_with(path, ".msh")) {
      files.write(index, [&](TextWriter& w) { write_msh(refined, w); });
    } else if (ends_with(path, ".svg")) {
      const auto picture = svg_picture(before_panel, svg_panel(refined, "after", true));
      files.write(index, [&](TextWriter& w) { w << picture; });
    }
  };
  for (std::size_t i = 0; i < paths.size(); ++i) write(i, paths[i]);
  summary.write = watch.lap();
  if (checking.valid()) std::tie(summary.problems, summary.check) = checking.get();
  if (!single_file) {
    const auto json = summary_json(summary);
    files.write(2, [&](TextWriter& w) { w << json; });
  }
  files.commit();

  out << (options.json ? summary_json(summary) : summary_table(summary));
  int status = 0;
  if (!summary.problems.empty()) {
    err << "vemra-refine: the refined model failed its check:\n";
    for (const auto& problem : summary.problems) err << "  " << problem << "\n";
    status = 3;
  }
  // The ratio is 1 at most, but for the rounding of a length and a size.
  if (!options.remesh && !(summary.max_edge_ratio <= 1 + 1e-12)) {
    err << "vemra-refine: the refined model does not meet the size: an edge is "
        << fixed(summary.max_edge_ratio, 3)
        << " times twice the size at its midpoint (the coordinates are too large, or the "
           "sizes too small, for the edge to be halved in double precision)\n";
    status = 3;
  }
  return status;
}

int dispatch(const Options& options, std::ostream& out, std::ostream& err) {
  // Everything about the outputs is settled before anything is read.
  const bool from_file = options.input.rfind("sample:", 0) != 0;
  const auto outputs = output_paths(options);
  OutputFiles files{outputs.paths, from_file ? options.input : std::string{}};
  Stopwatch watch;
  if (options.input == "sample:layers") {
    if (options.section) throw InputError{"--section: sample:layers is a 3-D model"};
    auto sample = layers_sample();
    return refine<karvel::BRep>(
        options, outputs, files,
        {std::move(sample.model), std::move(sample.size), sample.size_description, {}},
        watch.lap(), out, err);
  }
  if (options.input == "sample:section") {
    auto sample = section_sample();
    return refine<karvel::Section>(
        options, outputs, files,
        {std::move(sample.model), std::move(sample.size), sample.size_description, {}},
        watch.lap(), out, err);
  }
  if (options.input.rfind("sample:", 0) == 0) {
    throw InputError{options.input +
                     ": unknown sample (sample:layers or sample:section)"};
  }
  auto soup = read_soup(options.input);
  const Dropped dropped = check_soup(soup, options.drop_degenerate);
  // Once the model is built it holds all that the rest needs: the soup goes before the
  // refinement and the writers grow.
  if (options.section) {
    auto input = section_input(soup, dropped);
    soup = Soup{};
    return refine<karvel::Section>(options, outputs, files, std::move(input), watch.lap(),
                                   out, err);
  }
  auto input = brep_input(soup, dropped);
  soup = Soup{};
  return refine<karvel::BRep>(options, outputs, files, std::move(input), watch.lap(), out,
                              err);
}

}  // namespace

int run_refine(const std::vector<std::string>& arguments, std::ostream& out,
               std::ostream& err) {
  try {
    const auto options = parse_options(arguments);
    if (options.help) {
      out << usage;
      return 0;
    }
    if (options.version) {
      out << version_text;
      return 0;
    }
    std::optional<tbb::global_control> threads;
    if (options.threads) {
      threads.emplace(tbb::global_control::max_allowed_parallelism, *options.threads);
    }
    return dispatch(options, out, err);
  } catch (const InputError& error) {
    err << "vemra-refine: " << error.what() << "\n";
    return 2;
  } catch (const TooManyTriangles& error) {
    err << "vemra-refine: " << error.what() << "\n";
    return 4;
  } catch (const std::bad_alloc&) {
    err << "vemra-refine: out of memory; nothing written (a larger size, or "
           "--max-triangles, keeps the refinement smaller)\n";
    return 5;
  }
}

}  // namespace vemra::tool
