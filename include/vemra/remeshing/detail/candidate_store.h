#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/basic/uuid.h>
#include <karvel/geometry/basic_objects.h>
#include <karvel/mesh/triangulated_surface.h>

namespace vemra::detail {

using karvel::index_t;
using karvel::local_index_t;
using karvel::Point;
using karvel::PolygonEdge;
using karvel::TriangulatedSurface;
using karvel::uuid;

// Keeps the split candidates of a queue that reaches millions of them in 16 bytes each.
// A candidate built from a triangle names its surface, its triangle and edge, and its
// point is the midpoint of that edge's two vertices: the compact form keeps the surface
// as an index into this store's table, the triangle, the edge and the two vertices, and
// gives the point back by computing the same midpoint of the same coordinates, bit for
// bit. That holds while the vertices keep their coordinates, which the refinement never
// changes: it only adds vertices. Any other candidate (a surface outside the table, a
// point that is not that midpoint) is kept whole, apart, and stands for itself.
// `Record` is the Splitter's candidate: surface_id, edge, length, point.
// NOTE: compact() may run on several threads at once; the other calls are serialised by
// the caller, and surfaces are registered while nothing else uses the store.
template <typename Record, index_t D>
class CandidateStore {
 public:
  struct alignas(16) Compact {
    index_t triangle;  // or, for a whole record, its place among them
    index_t from;
    index_t to;
    std::uint32_t surface_and_edge;  // surface index << 2 | local edge; 3: a whole record
  };
  static constexpr std::uint32_t no_surface = 0xFFFFFFFFu;

  // The index of `id` (given a new one the first time), now standing for `mesh`.
  std::uint32_t register_surface(const uuid& id, const TriangulatedSurface<D>& mesh) {
    const auto [entry, added] =
        index_of_.try_emplace(id, std::uint32_t(surfaces_.size()));
    if (added) {
      if (surfaces_.size() == max_surfaces) {
        index_of_.erase(entry);
        return no_surface;  // beyond the compact form: its candidates are kept whole
      }
      surfaces_.push_back({id, &mesh});
    } else {
      surfaces_[entry->second].mesh = &mesh;
    }
    return entry->second;
  }

  // The compact form of `candidate`, if it has one; `surface` is the index of its
  // surface, or no_surface. Only reads: safe beside other compact() calls.
  std::optional<Compact> compact(const Record& candidate, std::uint32_t surface) const {
    if (surface == no_surface || candidate.edge.edge_id > 2) return std::nullopt;
    const auto& mesh = *surfaces_[surface].mesh;
    const auto ends = mesh.triangle_edge_vertices(candidate.edge);
    if (!same_bits(karvel::midpoint<D>(mesh.point(ends[0]), mesh.point(ends[1])),
                   candidate.point)) {
      return std::nullopt;
    }
    return Compact{candidate.edge.polygon_id, ends[0], ends[1],
                   surface << 2 | candidate.edge.edge_id};
  }
  // A candidate kept whole, apart.
  Compact keep_whole(const Record& record) {
    index_t place;
    if (free_whole_.empty()) {
      // Room to free every place later without allocating: unpack() cannot fail.
      if (free_whole_.capacity() < whole_.size() + 1) {
        free_whole_.reserve(2 * whole_.size() + 1);
      }
      place = index_t(whole_.size());
      whole_.push_back(record);
    } else {
      place = free_whole_.back();
      whole_[place] = record;
      free_whole_.pop_back();
    }
    return {place, 0, 0, whole_tag};
  }

  // Fetches what unpack() reads, ahead of other work.
  void prefetch(const Compact& compact) const {
    if (is_whole(compact)) return;
    const auto& mesh = *surfaces_[compact.surface_and_edge >> 2].mesh;
    __builtin_prefetch(&mesh.point(compact.from));
    __builtin_prefetch(&mesh.point(compact.to));
  }

  // Fetches what current() reads, ahead of other work.
  void prefetch_triangle(const Compact& compact) const {
    if (is_whole(compact)) return;
    surfaces_[compact.surface_and_edge >> 2].mesh->prefetch_triangle(compact.triangle);
  }

  // Whether the edge of a compact candidate still joins the two vertices it was measured
  // on; a whole record always stands.
  bool current(const Compact& compact) const {
    if (is_whole(compact)) return true;
    const auto& mesh = *surfaces_[compact.surface_and_edge >> 2].mesh;
    const auto ends = mesh.triangle_edge_vertices(
        {compact.triangle, static_cast<local_index_t>(compact.surface_and_edge & 3)});
    return ends[0] == compact.from && ends[1] == compact.to;
  }

  // The candidate as it was packed, with the length that its queue keeps; a whole
  // record's place is freed.
  Record unpack(const Compact& compact, double length) {
    if (is_whole(compact)) {
      Record record = whole_[compact.triangle];
      record.length = length;
      free_whole_.push_back(compact.triangle);
      return record;
    }
    const auto& surface = surfaces_[compact.surface_and_edge >> 2];
    return Record{surface.id,
                  PolygonEdge{compact.triangle,
                              static_cast<local_index_t>(compact.surface_and_edge & 3)},
                  length,
                  karvel::midpoint<D>(surface.mesh->point(compact.from),
                                      surface.mesh->point(compact.to))};
  }

  // Forgets every whole record: for a queue that drops all its candidates.
  void clear_whole() {
    whole_.clear();
    free_whole_.clear();
  }

  // Makes `compact` stand for itself, independent of the meshes, which may change once
  // the refinement has stopped.
  void make_whole(Compact& compact) {
    if (!is_whole(compact)) compact = keep_whole(unpack(compact, 0.0));
  }

 private:
  static constexpr std::uint32_t max_surfaces = 1u << 30;
  static constexpr std::uint32_t whole_tag = 3;

  struct Surface {
    uuid id;
    const TriangulatedSurface<D>* mesh;
  };

  static bool is_whole(const Compact& compact) {
    return (compact.surface_and_edge & 3) == whole_tag;
  }
  static bool same_bits(const Point<D>& a, const Point<D>& b) {
    return std::memcmp(&a, &b, sizeof(Point<D>)) == 0;
  }

  std::vector<Surface> surfaces_;
  absl::flat_hash_map<uuid, std::uint32_t> index_of_;
  std::vector<Record> whole_;
  std::vector<index_t> free_whole_;
};

}  // namespace vemra::detail
