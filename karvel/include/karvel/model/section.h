#pragma once

#include <karvel/model/component_collection.h>
#include <karvel/model/relationships.h>
#include <karvel/model/vertex_identifier.h>

namespace karvel {

// A 2-D cross-section model: corners, lines and surfaces (the regions), their
// relationships, and unique vertices. Build and change it with SectionBuilder.
class Section : public Corners<2>,
                public Lines<2>,
                public Surfaces<2>,
                public Relationships,
                public VertexIdentifier {
 public:
  static constexpr index_t dim = 2;
  Section() = default;
  Section(Section&&) = default;
  Section& operator=(Section&&) = default;
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;
};

}  // namespace karvel
