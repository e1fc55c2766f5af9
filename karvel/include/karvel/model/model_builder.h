#pragma once

#include <string>

#include <karvel/mesh/edged_curve_builder.h>
#include <karvel/mesh/polygonal_surface_builder.h>
#include <karvel/mesh/triangulated_surface_builder.h>
#include <karvel/model/brep.h>
#include <karvel/model/model_copy_mapping.h>
#include <karvel/model/relationships_builder.h>
#include <karvel/model/section.h>

namespace karvel {

enum class SurfaceMeshType : std::uint8_t { triangulated, polygonal };

// Everything that changes a model goes through its builder: components and their meshes,
// relationships, unique vertices, and copies. NOTE: copying into a model that is not
// empty adds the copies to what is there.
template <typename Model, index_t D>
class ModelBuilder : public RelationshipsBuilder {
 public:
  explicit ModelBuilder(Model& model) : RelationshipsBuilder{model}, model_{model} {}

  uuid add_corner();
  uuid add_line();
  uuid add_surface(SurfaceMeshType type = SurfaceMeshType::triangulated);
  // Throws KarvelException for an unknown component.
  void set_name(const ComponentID& component, std::string name);

  // Mesh access; each throws KarvelException for an unknown id, and the surface builders
  // for a surface whose mesh is of the other kind.
  PointSet<D>& corner_mesh(const uuid& corner);
  EdgedCurveBuilder<D> line_mesh_builder(const uuid& line);
  TriangulatedSurfaceBuilder<D> triangulated_surface_builder(const uuid& surface);
  PolygonalSurfaceBuilder<D> polygonal_surface_builder(const uuid& surface);

  // Unique vertices. component_slot() registers the component on first use.
  index_t component_slot(const ComponentID& component);
  index_t create_unique_vertex() { return create_unique_vertices(1); }
  // Returns the first of `count` new unique vertices.
  index_t create_unique_vertices(index_t count) {
    return model_.create_unique_vertices(count, key());
  }
  void set_unique_vertex(const ComponentMeshVertex& vertex, index_t unique_vertex);
  void set_unique_vertex(index_t slot, index_t vertex, index_t unique_vertex) {
    model_.set_unique_vertex(slot, vertex, unique_vertex, key());
  }
  void update_component_vertices(index_t slot, const std::vector<index_t>& old_to_new);
  void delete_unused_unique_vertices();

  // Copies the components of `source` with their meshes, under new uuids, and returns the
  // mapping from source uuids to copy uuids.
  ModelCopyMapping copy_components(const Model& source);
  // copy_components, then the relationships and the unique vertices.
  ModelCopyMapping copy(const Model& source);

 protected:
  Model& model_;
};

class BRepBuilder : public ModelBuilder<BRep, 3> {
 public:
  explicit BRepBuilder(BRep& brep) : ModelBuilder<BRep, 3>{brep} {}
  uuid add_block();
};

class SectionBuilder : public ModelBuilder<Section, 2> {
 public:
  explicit SectionBuilder(Section& section) : ModelBuilder<Section, 2>{section} {}
};

extern template class ModelBuilder<BRep, 3>;
extern template class ModelBuilder<Section, 2>;

}  // namespace karvel
