#pragma once

#include <array>

#include <absl/types/span.h>

#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace karvel {

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
// in size, a vertex index is out of range, a triangle repeats a vertex, a coordinate is
// not finite, an edge is used by more than two triangles of one patch, or the triangles
// of a patch are not consistently oriented.
BRep brep_from_patches(absl::Span<const Point<3>> points,
                       absl::Span<const std::array<index_t, 3>> triangles,
                       absl::Span<const index_t> patches);

Section section_from_patches(absl::Span<const Point<2>> points,
                             absl::Span<const std::array<index_t, 3>> triangles,
                             absl::Span<const index_t> patches);

}  // namespace karvel
