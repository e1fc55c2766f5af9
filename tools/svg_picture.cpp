#include "svg_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <karvel/mesh/triangulated_surface.h>
#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace vemra::tool {
namespace {

using karvel::index_t;

constexpr double panel = 600;
constexpr double margin = 20;

// Screen coordinates, before scaling: the plane as it is, or an axonometric view.
std::array<double, 2> project(const karvel::Point<2>& p) {
  return {p.value(0), -p.value(1)};
}
std::array<double, 2> project(const karvel::Point<3>& p) {
  const double x = p.value(0), y = p.value(1), z = p.value(2);
  return {0.866 * (x - y), 0.5 * (x + y) - z};
}

std::string colour(index_t surface) {
  // Hues spread by the golden angle, so neighbouring indices differ.
  const double hue = std::fmod(surface * 137.508, 360.0);
  char text[32];
  std::snprintf(text, sizeof(text), "hsl(%.0f,70%%,40%%)", hue);
  return text;
}

}  // namespace

template <typename Model>
SvgPanel svg_panel(const Model& model, const char* title, bool right,
                   unsigned max_triangles) {
  const double left = right ? panel : 0;
  index_t triangles = 0;
  for (const auto& surface : model.surfaces()) {
    triangles += surface.get_mesh().nb_polygons();
  }
  const index_t every =
      std::max<index_t>(1, (triangles + max_triangles - 1) / max_triangles);
  // Corners of the drawn triangles (every k-th of the model's, counted across surfaces)
  // in a few colour groups, then line segments, as many at most, projected.
  constexpr index_t nb_colours = 64;
  std::vector<std::vector<std::array<double, 2>>> groups(nb_colours);
  std::vector<std::array<double, 2>> lines;
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  const auto add = [&](std::vector<std::array<double, 2>>& to, const auto& point) {
    const auto p = project(point);
    to.push_back(p);
    x0 = std::min(x0, p[0]), x1 = std::max(x1, p[0]);
    y0 = std::min(y0, p[1]), y1 = std::max(y1, p[1]);
  };
  index_t counted = 0;
  index_t surface_index = 0;
  for (const auto& surface : model.surfaces()) {
    auto& corners = groups[surface_index++ % nb_colours];
    const auto* mesh =
        dynamic_cast<const karvel::TriangulatedSurface<Model::dim>*>(&surface.get_mesh());
    if (!mesh) continue;
    for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
      if (counted++ % every != 0) continue;
      for (const index_t v : mesh->triangle_vertices(t)) add(corners, mesh->point(v));
    }
  }
  index_t segments = 0;
  for (const auto& line : model.lines()) segments += line.mesh().nb_edges();
  const index_t every_segment =
      std::max<index_t>(1, (segments + max_triangles - 1) / max_triangles);
  counted = 0;
  for (const auto& line : model.lines()) {
    const auto& mesh = line.mesh();
    for (index_t e = 0; e < mesh.nb_edges(); ++e) {
      if (counted++ % every_segment != 0) continue;
      for (const index_t v : mesh.edge_vertices(e)) add(lines, mesh.point(v));
    }
  }
  const double scale = (panel - 2 * margin) / std::max({x1 - x0, y1 - y0, 1e-300});
  char text[200];
  std::snprintf(text, sizeof(text),
                "<text x=\"%.0f\" y=\"%.0f\" font-family=\"sans-serif\" "
                "font-size=\"16\">%s: %u triangles%s</text>\n",
                left + margin, margin, title, triangles,
                every > 1 ? (", 1 in " + std::to_string(every) + " drawn").c_str() : "");
  SvgPanel result{text, 3 * margin + (y1 - y0) * scale};
  const auto path = [&](const std::vector<std::array<double, 2>>& corners, int per_shape,
                        const std::string& stroke, const char* width) {
    result.body += "<path fill=\"none\" stroke-width=\"" + std::string{width} +
                   "\" stroke=\"" + stroke + "\" d=\"";
    for (std::size_t c = 0; c < corners.size(); c += per_shape) {
      for (int i = 0; i < per_shape; ++i) {
        std::snprintf(text, sizeof(text), "%c%.1f %.1f", i == 0 ? 'M' : 'L',
                      left + margin + (corners[c + i][0] - x0) * scale,
                      2 * margin + (corners[c + i][1] - y0) * scale);
        result.body += text;
      }
      if (per_shape == 3) result.body += "Z";
    }
    result.body += "\"/>\n";
  };
  for (index_t c = 0; c < nb_colours; ++c) {
    if (!groups[c].empty()) path(groups[c], 3, colour(c), "0.4");
  }
  if (!lines.empty()) path(lines, 2, "black", "0.8");
  return result;
}

std::string svg_picture(const SvgPanel& left, const SvgPanel& right) {
  char header[200];
  std::snprintf(
      header, sizeof(header),
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n"
      "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
      2 * panel, std::max(left.height, right.height));
  return header + left.body + right.body + "</svg>\n";
}

template SvgPanel svg_panel(const karvel::BRep&, const char*, bool, unsigned);
template SvgPanel svg_panel(const karvel::Section&, const char*, bool, unsigned);

}  // namespace vemra::tool
