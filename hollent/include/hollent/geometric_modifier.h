#pragma once

#include <array>
#include <optional>

#include <hollent/split_result.h>
#include <karvel/model/model_builder.h>

namespace hollent {

using karvel::BRep;
using karvel::BRepBuilder;
using karvel::local_index_t;
using karvel::PolygonEdge;
using karvel::Section;
using karvel::SectionBuilder;

// Changes the meshes of one model while keeping it conforming: every change is made in
// every component that holds the element, through the model's unique vertices.
// Not thread-safe: one thread at a time.
template <typename Model, typename Builder, index_t D>
class GeometricModifier {
 public:
  explicit GeometricModifier(Model& model) : model_{model}, builder_{model} {}

  // Splits, at `point`, the edge between the model vertices at the ends of `edge`, in
  // every component that holds an edge between them: this surface (both triangles of an
  // interior edge), every other surface along the same line, and the line. One new model
  // vertex ties the new vertices together. An edge between two line vertices that is not
  // a line edge (a chord) is split where it is held, which is its own surface.
  // Each triangle keeps its orientation. Existing triangle and edge indices stay valid;
  // new ones are appended.
  //
  // Longest-edge propagation, always on: before the edge is split, every triangle that
  // holds it, in every surface that shares it, is checked; one with an edge strictly
  // longer is first bisected at the midpoint of its longest edge (lowest local index on
  // a tie), by this same conforming split, recursively. Then the edge, the longest of
  // every triangle around it, is split at `point`. Bisecting only longest edges keeps
  // every angle at least half the smallest angle the mesh started with, whatever the
  // order and the sizes asked. Only strictly longer edges lead on, so the path ends even
  // through edges of equal length. Every triangle reshaped or created on the way is
  // listed in `surface_splits`, the requested edge's split last in its surface's list.
  //
  // NOTE: `edge` may be stale (its triangle changed since it was measured). When `point`
  // lies strictly inside edge `edge.edge_id` of the triangle it is split; otherwise when
  // it lies strictly inside another edge of it, that one; otherwise nothing changes and
  // the result is empty.
  // Throws karvel::KarvelException for a surface of another model or whose mesh is not
  // triangulated, a triangle or local edge index out of range, or a point that is not
  // finite; nothing is changed then.
  SplitPolygonEdgeInfo split_edge(const karvel::Surface<D>& surface,
                                  const PolygonEdge& edge, const karvel::Point<D>& point);

  // Removes from lines the edges whose two ends are the same model vertex, merging those
  // ends, then the vertices no edge uses. Changes nothing when there is nothing to
  // remove.
  void clean_edges_lines();
  // Removes from triangulated surfaces the triangles that repeat a vertex, then the
  // vertices no triangle uses, and the model vertices that no component uses any more.
  // The other triangles keep their order. Vertices of one surface at one model vertex (a
  // surface pinched there, one vertex per fan) stay apart.
  void clean_triangles_surfaces();

 private:
  // What a split needs of one surface, found once: its slot among the unique vertices and
  // its triangulated mesh, read-only and through a builder.
  struct SurfaceAccess {
    const karvel::Surface<D>* surface;
    index_t slot;
    const karvel::TriangulatedSurface<D>* mesh;
    karvel::TriangulatedSurfaceBuilder<D> builder;
  };
  // Throws KarvelException for a surface of another model or a mesh not triangulated.
  SurfaceAccess access(const karvel::Surface<D>& surface);
  // The same, remembered for the last surface asked: splits come in runs on one surface.
  SurfaceAccess& cached_access(const karvel::Surface<D>& surface);

  // A longer edge of a triangle that holds some edge: its ends and its midpoint.
  struct LongerEdge {
    const karvel::Surface<D>* surface;
    std::array<index_t, 2> ends;
    karvel::Point<D> midpoint;
  };
  // Among the triangles that hold `edge`, in this surface and in every other surface that
  // holds the same model edge, the first with an edge strictly longer: that edge.
  std::optional<LongerEdge> longer_edge_around(SurfaceAccess& surface,
                                               const PolygonEdge& edge);
  // Splits the model edge at `point` in every component that holds it; returns the new
  // model vertex.
  index_t split_model_edge(SurfaceAccess& surface, const PolygonEdge& edge,
                           const karvel::Point<D>& point, SplitPolygonEdgeInfo& result);
  // Calls visit(slot, ends) for every other component whose mesh has vertices at both
  // model vertices of `ends` (vertices of the component in `slot`).
  template <typename Visit>
  void for_each_other_holder(index_t slot, const std::array<index_t, 2>& ends,
                             Visit&& visit) const;
  // The component in `slot` when it is a triangulated surface.
  std::optional<SurfaceAccess> other_triangulated_surface(index_t slot);

  void split_in_surface(SurfaceAccess& surface, const PolygonEdge& edge,
                        const karvel::Point<D>& point, index_t unique_vertex,
                        SplitPolygonEdgeInfo& result);
  void split_in_line(const uuid& line, index_t slot, index_t edge,
                     const karvel::Point<D>& point, index_t unique_vertex,
                     SplitPolygonEdgeInfo& result);
  // Representative of each vertex of a line: the first vertex of the same line at the
  // same model vertex. Empty when every vertex is its own representative.
  std::vector<index_t> representatives(index_t slot, index_t nb_vertices) const;

  Model& model_;
  Builder builder_;
  std::optional<SurfaceAccess> last_access_;
};

class BRepGeometricModifier : public GeometricModifier<BRep, BRepBuilder, 3> {
 public:
  explicit BRepGeometricModifier(BRep& brep) : GeometricModifier{brep} {}
};

class SectionGeometricModifier : public GeometricModifier<Section, SectionBuilder, 2> {
 public:
  explicit SectionGeometricModifier(Section& section) : GeometricModifier{section} {}
};

extern template class GeometricModifier<BRep, BRepBuilder, 3>;
extern template class GeometricModifier<Section, SectionBuilder, 2>;

}  // namespace hollent
