#pragma once

#include <string>

namespace vemra::tool {

// One side of the picture: a model drawn in SVG, each surface in its own colour, a
// Section in its plane, a BRep as a wireframe seen from above at an angle. Big models
// stay small: at most `max_triangles` triangles are drawn (every k-th of the model, which
// the title says), as many line segments at most, in at most 64 colours.
struct SvgPanel {
  std::string body;
  double height;
};
constexpr unsigned picture_triangles = 40000;
template <typename Model>
SvgPanel svg_panel(const Model& model, const char* title, bool right,
                   unsigned max_triangles = picture_triangles);

// The two panels side by side.
std::string svg_picture(const SvgPanel& left, const SvgPanel& right);

}  // namespace vemra::tool
