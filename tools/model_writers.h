#pragma once

#include <string>

namespace vemra::tool {

// The text of a model as OBJ (the model vertices once, then one group per surface, named
// after it) and as VTK XML PolyData (one polygon per triangle, with a cell array
// "surface" of surface indices so that viewers can colour the surfaces).
// NOTE: a Section is written in the plane z = 0.
template <typename Model>
std::string model_to_obj(const Model& model);
template <typename Model>
std::string model_to_vtp(const Model& model);

}  // namespace vemra::tool
