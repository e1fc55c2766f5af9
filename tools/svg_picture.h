#pragma once

#include <string>

namespace vemra::tool {

// An SVG of the model before and after refinement, side by side, each surface in its own
// colour: a Section in its plane, a BRep as a wireframe seen from above at an angle.
template <typename Model>
std::string svg_picture(const Model& before, const Model& after);

}  // namespace vemra::tool
