#pragma once

// The remeshed pieces of one surface joined back into one mesh at the vertices they
// share: an input vertex of the surface by its number, a new point of a line that parts
// them by (line, point).

#include <functional>
#include <optional>
#include <vector>

#include "surface_remesher.h"

namespace vemra::remesher {

struct RemeshedPiece {
  const SurfaceOutput& output;
  const std::vector<index_t>& vertices;  // the surface's vertex of each input vertex
};

// Lines from `first_parting_line` on part pieces: their points become the surface's own
// vertices, at the line's coordinates, as the model lines' points are. Nothing when two
// pieces made the same edge between vertices they share (each sees only its side, so
// both can close the same ear along a parting line): the joined mesh would not be a
// surface.
std::optional<SurfaceOutput> join_pieces(
    const std::vector<RemeshedPiece>& pieces, index_t first_parting_line,
    const std::function<const Vec3&(index_t line, index_t point)>& line_position);

}  // namespace vemra::remesher
