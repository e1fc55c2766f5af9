#pragma once

#include <memory>
#include <string>

#include <karvel/model/brep.h>
#include <karvel/model/section.h>
#include <vemra/remeshing/metric.h>

namespace vemra::tool {

// A built-in model with the graded size field that shows it off.
template <typename Model, index_t D>
struct Sample {
  Model model;
  std::unique_ptr<Metric<D>> size;
  std::string size_description;
};

// A unit box cut by a curved horizon and a vertical fault: 20 surfaces, lines where two,
// three or four of them meet, 4 blocks. The size is fine near the horizon.
Sample<karvel::BRep, 3> layers_sample();

// A 2 x 1 cross-section with two curved horizons and a vertical fault: 6 regions. The
// size is fine near the horizons.
Sample<karvel::Section, 2> section_sample();

}  // namespace vemra::tool
