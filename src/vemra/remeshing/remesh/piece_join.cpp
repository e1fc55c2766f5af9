#include "piece_join.h"

#include <absl/container/flat_hash_map.h>

namespace vemra::remesher {

using karvel::NO_ID;

std::optional<SurfaceOutput> join_pieces(
    const std::vector<RemeshedPiece>& pieces, index_t first_parting_line,
    const std::function<const Vec3&(index_t line, index_t point)>& line_position) {
  SurfaceOutput joined;
  std::vector<bool> shared;  // by joined vertex: held by more than one piece
  absl::flat_hash_map<index_t, index_t> of_input;          // surface vertex -> joined
  absl::flat_hash_map<std::uint64_t, index_t> of_parting;  // (line, point) -> joined
  for (const auto& piece : pieces) {
    const auto& out = piece.output;
    std::vector<index_t> number(out.points.size());
    for (index_t v = 0; v < out.points.size(); ++v) {
      Tie tie = out.ties[v];
      Vec3 point = out.points[v];
      const bool parting = tie.kind == Tie::line_point && tie.line >= first_parting_line;
      if (tie.kind == Tie::line_point) point = line_position(tie.line, tie.index);
      if (tie.kind != Tie::line_point || parting) tie = Tie{};
      const index_t here = static_cast<index_t>(joined.points.size());
      const index_t input =
          out.input_vertices[v] == NO_ID ? NO_ID : piece.vertices[out.input_vertices[v]];
      index_t* found = nullptr;
      if (input != NO_ID) {
        found = &of_input.try_emplace(input, here).first->second;
      } else if (parting) {
        const auto key = std::uint64_t{out.ties[v].line} << 32 | out.ties[v].index;
        found = &of_parting.try_emplace(key, here).first->second;
      }
      number[v] = found ? *found : here;
      if (number[v] != here) {
        shared[number[v]] = true;
        continue;
      }
      joined.points.push_back(point);
      joined.ties.push_back(tie);
      joined.input_vertices.push_back(input);
      shared.push_back(false);
    }
    for (const auto& t : out.triangles) {
      joined.triangles.push_back({number[t[0]], number[t[1]], number[t[2]]});
    }
  }
  // Only an edge between shared vertices can be made by two pieces.
  absl::flat_hash_map<std::uint64_t, int> uses;
  for (const auto& t : joined.triangles) {
    for (int e = 0; e < 3; ++e) {
      const index_t a = t[e], b = t[(e + 1) % 3];
      if (shared[a] && shared[b] && ++uses[edge_key(a, b)] > 2) return std::nullopt;
    }
  }
  return joined;
}

}  // namespace vemra::remesher
