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

// Draws the model in a panel at `left`; returns the height it used.
template <typename Model>
double draw(const Model& model, double left, const char* title, std::string& svg) {
  std::vector<std::vector<std::array<double, 2>>> surfaces;
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  index_t triangles = 0;
  for (const auto& surface : model.surfaces()) {
    std::vector<std::array<double, 2>> corners;
    if (const auto* mesh = dynamic_cast<const karvel::TriangulatedSurface<Model::dim>*>(
            &surface.get_mesh())) {
      for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
        for (const index_t v : mesh->triangle_vertices(t)) {
          const auto p = project(mesh->point(v));
          corners.push_back(p);
          x0 = std::min(x0, p[0]), x1 = std::max(x1, p[0]);
          y0 = std::min(y0, p[1]), y1 = std::max(y1, p[1]);
        }
      }
      triangles += mesh->nb_polygons();
    }
    surfaces.push_back(std::move(corners));
  }
  const double scale = (panel - 2 * margin) / std::max({x1 - x0, y1 - y0, 1e-300});
  char text[160];
  std::snprintf(
      text, sizeof(text),
      "<text x=\"%.0f\" y=\"%.0f\" font-family=\"sans-serif\" font-size=\"16\">%s: "
      "%u triangles</text>\n",
      left + margin, margin, title, triangles);
  svg += text;
  for (index_t s = 0; s < surfaces.size(); ++s) {
    svg += "<path fill=\"none\" stroke-width=\"0.4\" stroke=\"" + colour(s) + "\" d=\"";
    const auto& corners = surfaces[s];
    for (std::size_t c = 0; c < corners.size(); c += 3) {
      for (int i = 0; i < 3; ++i) {
        std::snprintf(text, sizeof(text), "%c%.1f %.1f", i == 0 ? 'M' : 'L',
                      left + margin + (corners[c + i][0] - x0) * scale,
                      2 * margin + (corners[c + i][1] - y0) * scale);
        svg += text;
      }
      svg += "Z";
    }
    svg += "\"/>\n";
  }
  return 3 * margin + (y1 - y0) * scale;
}

}  // namespace

template <typename Model>
std::string svg_picture(const Model& before, const Model& after) {
  std::string body;
  const double height =
      std::max(draw(before, 0, "before", body), draw(after, panel, "after", body));
  char header[200];
  std::snprintf(
      header, sizeof(header),
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n"
      "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
      2 * panel, height);
  return header + body + "</svg>\n";
}

template std::string svg_picture(const karvel::BRep&, const karvel::BRep&);
template std::string svg_picture(const karvel::Section&, const karvel::Section&);

}  // namespace vemra::tool
