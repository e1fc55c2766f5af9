#pragma once

#include <string>
#include <vector>

#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace karvel {

// What check_model found: one line per problem, naming the component, the element and
// the value. Empty when the model is valid.
struct ModelCheckReport {
  std::vector<std::string> problems;
  bool ok() const { return problems.empty(); }
  std::string text() const;
};

// Checks that a model is valid and conforming: triangle adjacency agrees with the
// triangles (which also shows inconsistent orientation), the triangles at a vertex form
// one fan, no element repeats a vertex,
// every vertex is used and tied to a unique vertex, the components at one unique vertex
// are at one point, every line edge is an edge of the surfaces it bounds or lies in, and
// every surface border edge is covered by a line. Safe to call from several threads.
ModelCheckReport check_model(const BRep& model);
ModelCheckReport check_model(const Section& model);

}  // namespace karvel
