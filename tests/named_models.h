#pragma once

// Models by name, with a size that meshes each of them a few times over, for tests that
// run one body over every fixture of both kinds.

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace fixtures {

template <typename Model>
struct NamedModel {
  std::string name;
  std::function<Model()> make;
  double size;
};

// Runs `body(named model)` over the 3-D models, then the sections, each under its name.
template <typename Body>
void for_each_named(const std::vector<NamedModel<karvel::BRep>>& breps,
                    const std::vector<NamedModel<karvel::Section>>& sections, Body body) {
  for (const auto& named : breps) {
    SCOPED_TRACE(named.name);
    body(named);
  }
  for (const auto& named : sections) {
    SCOPED_TRACE("section " + named.name);
    body(named);
  }
}

}  // namespace fixtures
