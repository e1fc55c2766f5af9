// read (file or sample) -> choose the size field -> refine in place (a progress line
// meanwhile; a copy of the input for the picture) -> measure and check -> write every
// output all or nothing -> summary table or JSON.

#include "refine_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include <tbb/global_control.h>

#include <karvel/basic/exception.h>
#include <karvel/model/checker.h>
#include <karvel/model/from_patches.h>
#include <vemra/refine.h>
#include <vemra/remeshing/model_kind.h>

#include "mesh_readers.h"
#include "model_writers.h"
#include "options.h"
#include "output_files.h"
#include "samples.h"
#include "size_fields.h"
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
};

// The surfaces of a file's model are named after its groups, where it has them: patch
// values are the group numbers, and surfaces come in increasing patch order.
template <typename Model, typename Builder>
Model named(Model model, const Soup& soup) {
  Builder builder{model};
  std::vector<karvel::uuid> surfaces;
  for (const auto& surface : model.surfaces()) surfaces.push_back(surface.id());
  for (std::size_t patch = 0; patch < surfaces.size() && patch < soup.patch_names.size();
       ++patch) {
    if (!soup.patch_names[patch].empty()) {
      builder.set_name({karvel::ComponentType::surface, surfaces[patch]},
                       soup.patch_names[patch]);
    }
  }
  return model;
}

Input<karvel::BRep> brep_input(const Soup& soup, const std::string& path) {
  try {
    return {
        named<karvel::BRep, karvel::BRepBuilder>(
            karvel::brep_from_patches(soup.points, soup.triangles, soup.patches), soup),
        nullptr, ""};
  } catch (const karvel::KarvelException& error) {
    throw InputError{path + ": " + error.what()};
  }
}

Input<karvel::Section> section_input(const Soup& soup, const std::string& path) {
  std::vector<Point<2>> points;
  points.reserve(soup.points.size());
  for (std::size_t v = 0; v < soup.points.size(); ++v) {
    if (soup.points[v].value(2) != 0) {
      throw InputError{path + ": vertex " + std::to_string(v) +
                       " has z = " + std::to_string(soup.points[v].value(2)) +
                       "; --section takes a model in the plane z = 0"};
    }
    points.push_back(Point<2>{{soup.points[v].value(0), soup.points[v].value(1)}});
  }
  try {
    return {named<karvel::Section, karvel::SectionBuilder>(
                karvel::section_from_patches(points, soup.triangles, soup.patches), soup),
            nullptr, ""};
  } catch (const karvel::KarvelException& error) {
    throw InputError{path + ": " + error.what()};
  }
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
  MeshFigures before, after;
  double max_edge_ratio;
  double read, refine, check, write;
  std::vector<std::string> problems;
  bool checked;
};

std::string summary_json(const Summary& s) {
  std::ostringstream json;
  json.precision(10);
  json << "{\"input\": " << json_string(s.input) << ", \"size\": " << json_string(s.size)
       << ", \"surfaces\": " << s.after.surfaces << ", \"lines\": " << s.after.lines
       << ", \"triangles_before\": " << s.before.triangles
       << ", \"triangles_after\": " << s.after.triangles
       << ", \"splits\": " << s.after.model_vertices - s.before.model_vertices
       << ", \"seconds\": {\"read\": " << s.read << ", \"refine\": " << s.refine
       << ", \"check\": " << s.check << ", \"write\": " << s.write << "}"
       << ", \"min_angle_before\": " << s.before.min_angle
       << ", \"min_angle_after\": " << s.after.min_angle
       << ", \"max_edge_ratio\": " << s.max_edge_ratio << ", \"check\": ";
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

std::string summary_table(const Summary& s) {
  char text[2048];
  std::snprintf(
      text, sizeof(text),
      "input              %s\n"
      "size               %s\n"
      "surfaces, lines    %u, %u\n"
      "triangles          %u -> %u\n"
      "splits             %u\n"
      "smallest angle     %.2f -> %.2f degrees\n"
      "largest edge/size  %.3f (longest edge / twice the size at its midpoint)\n"
      "seconds            read %.3f, refine %.3f, check %.3f, write %.3f\n"
      "model check        %s\n",
      s.input.c_str(), s.size.c_str(), s.after.surfaces, s.after.lines,
      s.before.triangles, s.after.triangles,
      s.after.model_vertices - s.before.model_vertices, s.before.min_angle,
      s.after.min_angle, s.max_edge_ratio, s.read, s.refine, s.check, s.write,
      !s.checked           ? "skipped"
      : s.problems.empty() ? "ok"
                           : "FAILED");
  return text;
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

template <typename Model>
int refine(const Options& options, Input<Model> input, double read_seconds,
           std::ostream& out, std::ostream& err) {
  using K = Kind<Model>;
  constexpr index_t D = K::dimension;
  Summary summary{};
  summary.input = options.input;
  summary.read = read_seconds;

  std::unique_ptr<Metric<D>> size;
  if (options.size) {
    size = std::make_unique<UniformSize<D>>(*options.size);
    summary.size = "uniform " + std::to_string(*options.size);
  } else if (options.size_expression) {
    size = std::make_unique<ExpressionSize<D>>(*options.size_expression);
    summary.size = *options.size_expression;
  } else if (input.sample_size) {
    size = std::move(input.sample_size);
    summary.size = input.sample_size_description;
  } else {
    const double diagonal = bounding_box_diagonal(input.model);
    size = std::make_unique<UniformSize<D>>(diagonal / 50);
    summary.size =
        "uniform " + std::to_string(diagonal / 50) + " (bounding-box diagonal / 50)";
  }
  // Everything about the outputs is settled before the long part.
  const bool single_file =
      ends_with(options.output, ".obj") || ends_with(options.output, ".vtp");
  if (!single_file) make_folder(options.output);

  summary.before = measure(input.model);
  Stopwatch watch;
  // The picture shows the model before and after: keep a copy of it.
  const bool draws_picture = options.picture || !single_file;
  Model before;
  if (draws_picture) typename K::Builder{before}.copy(input.model);
  RefineOptions refine_options;
  const bool progress_line = ::isatty(STDERR_FILENO);
  if (progress_line) {
    const double expected = estimate_triangles(input.model, *size);
    refine_options.progress = [expected](const RefineProgress& progress) {
      std::fprintf(stderr, "\rrefining: %2.0f%% (estimate)",
                   100 * std::min(0.99, double(progress.triangles) / expected));
      return true;
    };
  }
  try {
    vemra::refine(input.model, *size, refine_options);
  } catch (const std::domain_error& error) {
    throw InputError{std::string{"size field: "} + error.what()};
  }
  if (progress_line) std::fprintf(stderr, "\r\033[K");
  const Model& refined = input.model;
  summary.refine = watch.lap();
  summary.after = measure(refined);
  summary.max_edge_ratio = max_edge_ratio(refined, *size);
  summary.checked = options.check;
  if (options.check) summary.problems = karvel::check_model(refined).problems;
  summary.check = watch.lap();

  OutputFiles files;
  if (single_file) {
    files.add(options.output, ends_with(options.output, ".obj") ? model_to_obj(refined)
                                                                : model_to_vtp(refined));
  } else {
    files.add(options.output + "/model.obj", model_to_obj(refined));
    files.add(options.output + "/model.vtp", model_to_vtp(refined));
    if (!options.picture)
      files.add(options.output + "/picture.svg", svg_picture(before, refined));
  }
  if (options.picture) files.add(*options.picture, svg_picture(before, refined));
  summary.write = watch.lap();
  if (!single_file) files.add(options.output + "/stats.json", summary_json(summary));
  files.commit();

  out << (options.json ? summary_json(summary) : summary_table(summary));
  if (summary.problems.empty()) return 0;
  err << "vemra-refine: the refined model failed its check:\n";
  for (const auto& problem : summary.problems) err << "  " << problem << "\n";
  return 3;
}

int dispatch(const Options& options, std::ostream& out, std::ostream& err) {
  Stopwatch watch;
  if (options.input == "sample:layers") {
    if (options.section) throw InputError{"--section: sample:layers is a 3-D model"};
    auto sample = layers_sample();
    return refine<karvel::BRep>(
        options,
        {std::move(sample.model), std::move(sample.size), sample.size_description},
        watch.lap(), out, err);
  }
  if (options.input == "sample:section") {
    auto sample = section_sample();
    return refine<karvel::Section>(
        options,
        {std::move(sample.model), std::move(sample.size), sample.size_description},
        watch.lap(), out, err);
  }
  if (options.input.rfind("sample:", 0) == 0) {
    throw InputError{options.input +
                     ": unknown sample (sample:layers or sample:section)"};
  }
  const auto soup = read_soup(options.input);
  if (options.section) {
    auto input = section_input(soup, options.input);
    return refine<karvel::Section>(options, std::move(input), watch.lap(), out, err);
  }
  auto input = brep_input(soup, options.input);
  return refine<karvel::BRep>(options, std::move(input), watch.lap(), out, err);
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
    std::optional<tbb::global_control> threads;
    if (options.threads) {
      threads.emplace(tbb::global_control::max_allowed_parallelism, *options.threads);
    }
    return dispatch(options, out, err);
  } catch (const InputError& error) {
    err << "vemra-refine: " << error.what() << "\n";
    return 2;
  }
}

}  // namespace vemra::tool
