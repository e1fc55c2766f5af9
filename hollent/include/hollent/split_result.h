#pragma once

#include <utility>

#include <absl/container/inlined_vector.h>

#include <hollent/small_map.h>
#include <karvel/basic/common.h>
#include <karvel/basic/uuid.h>

namespace hollent {

using karvel::index_t;
using karvel::uuid;

// One side of a split edge in one surface. Each entry of `polygons` pairs a triangle that
// the split reshaped or created with its sibling (the other half of the same old
// triangle): the first index is always a triangle to re-examine.
struct PolygonSplit {
  absl::InlinedVector<std::pair<index_t, index_t>, 2> polygons;
};

// One edge split in one surface: the new vertex of that surface, then the two sides of
// the edge (`second` is empty on a border).
struct SurfaceEdgeSplit {
  index_t new_vertex{karvel::NO_ID};
  PolygonSplit first;
  PolygonSplit second;
};

// One edge split in one line: the new vertex, the edge that kept the first half and the
// new edge that holds the second.
struct LineEdgeSplit {
  index_t new_vertex{karvel::NO_ID};
  index_t edge{karvel::NO_ID};
  index_t new_edge{karvel::NO_ID};
};

// What split_edge changed, per component. Empty when nothing was split.
struct SplitPolygonEdgeInfo {
  SmallMap<uuid, absl::InlinedVector<LineEdgeSplit, 1>> line_splits;
  SmallMap<uuid, absl::InlinedVector<SurfaceEdgeSplit, 1>> surface_splits;
  // The model vertex created at `point` by the split, or NO_ID (the splits made first
  // along the propagation path create model vertices of their own).
  index_t new_unique_vertex{karvel::NO_ID};
};

using BRepSplitPolygonEdgeInfo = SplitPolygonEdgeInfo;
using SectionSplitPolygonEdgeInfo = SplitPolygonEdgeInfo;

}  // namespace hollent
