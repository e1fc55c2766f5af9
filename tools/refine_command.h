#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vemra::tool {

// The whole vemra-refine command: reads or builds the model, refines it, checks it,
// writes the outputs and prints the summary. Returns the exit status: 0 done, 2 bad input
// (one line on `err`, no output written), 3 the refined model failed its check.
int run_refine(const std::vector<std::string>& arguments, std::ostream& out,
               std::ostream& err);

}  // namespace vemra::tool
