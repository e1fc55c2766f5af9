#pragma once

#include <karvel/model/component_collection.h>
#include <karvel/model/relationships.h>
#include <karvel/model/vertex_identifier.h>

namespace karvel {

// A 3-D boundary representation: corners, lines, surfaces and blocks, their
// relationships, and the unique vertices that tie their meshes together. Build and change
// it with BRepBuilder. Reads are safe from many threads at once.
class BRep : public Corners<3>,
             public Lines<3>,
             public Surfaces<3>,
             public Blocks<3>,
             public Relationships,
             public VertexIdentifier {
 public:
  static constexpr index_t dim = 3;
  BRep() = default;
  BRep(BRep&&) = default;
  BRep& operator=(BRep&&) = default;
  BRep(const BRep&) = delete;
  BRep& operator=(const BRep&) = delete;
};

}  // namespace karvel
