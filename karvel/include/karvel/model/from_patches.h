#pragma once

#include <array>

#include <absl/types/span.h>

#include <karvel/basic/exception.h>
#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace karvel {

// A patch decomposition whose triangles cannot form a surface: an edge held by more than
// two triangles of one patch, or two triangles of a patch that run along their shared
// edge in the same direction. Names the input triangles and points, so that a caller can
// point at them in its own terms (a file's lines).
class PatchTopologyError : public KarvelException {
 public:
  enum class Kind { non_manifold_edge, inconsistent_orientation, repeated_triangle };
  PatchTopologyError(const std::string& message, Kind what, index_t patch_value,
                     std::array<index_t, 2> triangle_pair, std::array<index_t, 2> ends)
      : KarvelException{message},
        kind{what},
        patch{patch_value},
        triangles{triangle_pair},
        edge{ends} {}

  Kind kind;
  index_t patch;                     // the patch value
  std::array<index_t, 2> triangles;  // input triangle indices
  std::array<index_t, 2> edge;       // input point indices
};

// Builds a model from a triangle soup with shared vertices, as a file gives it: one
// surface per distinct patch value (in increasing order), lines along every edge that is
// a border or is shared by two or more patches (split where the patches along them
// change, and where more than two such edges meet), a corner at each line end (one on
// each closed loop), boundary and internal relationships, and one unique vertex per input
// point that a triangle uses. A patch may hold a line inside it (an internal line). Where
// the triangles of a patch around a vertex form several fans that touch only there (a
// pinched vertex), each fan has a vertex of its own in the surface's mesh, all tied to
// the same unique vertex.
//
// Throws KarvelException naming the triangle, edge or point when: the two spans differ
// in size, a vertex index is out of range, a triangle repeats a vertex, or a coordinate
// is not finite; PatchTopologyError when an edge is used by more than two triangles of
// one patch, the triangles of a patch are not consistently oriented, or two triangles of
// a patch have the same three vertices (in either orientation).
BRep brep_from_patches(absl::Span<const Point<3>> points,
                       absl::Span<const std::array<index_t, 3>> triangles,
                       absl::Span<const index_t> patches);

Section section_from_patches(absl::Span<const Point<2>> points,
                             absl::Span<const std::array<index_t, 3>> triangles,
                             absl::Span<const index_t> patches);

}  // namespace karvel
