#include <karvel/model/model_builder.h>

#include <type_traits>

namespace karvel {
template <typename Model, index_t D>
uuid ModelBuilder<Model, D>::add_corner() {
  return model_.modifiable_corners(key()).create(uuid{}).id();
}

template <typename Model, index_t D>
uuid ModelBuilder<Model, D>::add_line() {
  return model_.modifiable_lines(key()).create(uuid{}).id();
}

template <typename Model, index_t D>
uuid ModelBuilder<Model, D>::add_surface(SurfaceMeshType type) {
  std::unique_ptr<SurfaceMesh<D>> mesh;
  if (type == SurfaceMeshType::triangulated) {
    mesh = std::make_unique<TriangulatedSurface<D>>();
  } else {
    mesh = std::make_unique<PolygonalSurface<D>>();
  }
  return model_.modifiable_surfaces(key()).create(uuid{}, std::move(mesh)).id();
}

uuid BRepBuilder::add_block() {
  return model_.modifiable_blocks(key()).create(uuid{}).id();
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::set_name(const ComponentID& component, std::string name) {
  switch (component.type) {
    case ComponentType::corner:
      model_.modifiable_corners(key()).modifiable(component.id).set_name(std::move(name));
      return;
    case ComponentType::line:
      model_.modifiable_lines(key()).modifiable(component.id).set_name(std::move(name));
      return;
    case ComponentType::surface:
      model_.modifiable_surfaces(key())
          .modifiable(component.id)
          .set_name(std::move(name));
      return;
    case ComponentType::block:
      if constexpr (std::is_base_of_v<Blocks<D>, Model>) {
        model_.modifiable_blocks(key())
            .modifiable(component.id)
            .set_name(std::move(name));
        return;
      }
      break;
  }
  throw KarvelException{"[ModelBuilder::set_name] This model has no " +
                        component_type_name(component.type) + " components"};
}

template <typename Model, index_t D>
PointSet<D>& ModelBuilder<Model, D>::corner_mesh(const uuid& corner) {
  return model_.modifiable_corners(key()).modifiable(corner).modifiable_mesh(key());
}

template <typename Model, index_t D>
EdgedCurveBuilder<D> ModelBuilder<Model, D>::line_mesh_builder(const uuid& line) {
  return EdgedCurveBuilder<D>{
      model_.modifiable_lines(key()).modifiable(line).modifiable_mesh(key())};
}

template <typename Model, index_t D>
TriangulatedSurfaceBuilder<D> ModelBuilder<Model, D>::triangulated_surface_builder(
    const uuid& surface) {
  auto& mesh =
      model_.modifiable_surfaces(key()).modifiable(surface).modifiable_mesh(key());
  auto* triangulated = dynamic_cast<TriangulatedSurface<D>*>(&mesh);
  if (!triangulated) {
    throw KarvelException{"[ModelBuilder] Surface " + surface.string() +
                          " is not triangulated"};
  }
  return TriangulatedSurfaceBuilder<D>{*triangulated};
}

template <typename Model, index_t D>
PolygonalSurfaceBuilder<D> ModelBuilder<Model, D>::polygonal_surface_builder(
    const uuid& surface) {
  auto& mesh =
      model_.modifiable_surfaces(key()).modifiable(surface).modifiable_mesh(key());
  auto* polygonal = dynamic_cast<PolygonalSurface<D>*>(&mesh);
  if (!polygonal) {
    throw KarvelException{"[ModelBuilder] Surface " + surface.string() +
                          " is not polygonal"};
  }
  return PolygonalSurfaceBuilder<D>{*polygonal};
}

template <typename Model, index_t D>
index_t ModelBuilder<Model, D>::component_slot(const ComponentID& component) {
  return model_.register_component(component, key());
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::set_unique_vertex(const ComponentMeshVertex& vertex,
                                               index_t unique_vertex) {
  model_.set_unique_vertex(component_slot(vertex.component_id), vertex.vertex,
                           unique_vertex, key());
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::update_component_vertices(
    index_t slot, const std::vector<index_t>& old_to_new) {
  model_.update_component_vertices(slot, old_to_new, key());
}

template <typename Model, index_t D>
void ModelBuilder<Model, D>::delete_unused_unique_vertices() {
  model_.delete_unused_unique_vertices(key());
}

template <typename Model, index_t D>
ModelCopyMapping ModelBuilder<Model, D>::copy_components(const Model& source) {
  ModelCopyMapping mapping;
  auto copy_name = [this](const Identifier& from, const ComponentID& to) {
    if (!from.name().empty()) set_name(to, from.name());
  };
  for (const auto& corner : source.corners()) {
    const auto id = add_corner();
    auto& mesh = corner_mesh(id);
    for (index_t v = 0; v < corner.mesh().nb_vertices(); ++v) {
      mesh.create_point(corner.mesh().point(v));
    }
    mapping[ComponentType::corner].map(corner.id(), id);
    copy_name(corner, {ComponentType::corner, id});
  }
  for (const auto& line : source.lines()) {
    const auto id = add_line();
    line_mesh_builder(id).copy(line.mesh());
    mapping[ComponentType::line].map(line.id(), id);
    copy_name(line, {ComponentType::line, id});
  }
  for (const auto& surface : source.surfaces()) {
    const auto& mesh = surface.get_mesh();
    const auto* triangulated = dynamic_cast<const TriangulatedSurface<D>*>(&mesh);
    const auto id = add_surface(triangulated ? SurfaceMeshType::triangulated
                                             : SurfaceMeshType::polygonal);
    if (triangulated) {
      triangulated_surface_builder(id).copy(*triangulated);
    } else {
      polygonal_surface_builder(id).copy(dynamic_cast<const PolygonalSurface<D>&>(mesh));
    }
    mapping[ComponentType::surface].map(surface.id(), id);
    copy_name(surface, {ComponentType::surface, id});
  }
  if constexpr (std::is_base_of_v<Blocks<D>, Model>) {
    for (const auto& block : source.blocks()) {
      const auto id = model_.modifiable_blocks(key()).create(uuid{}).id();
      mapping[ComponentType::block].map(block.id(), id);
      copy_name(block, {ComponentType::block, id});
    }
  }
  return mapping;
}

template <typename Model, index_t D>
ModelCopyMapping ModelBuilder<Model, D>::copy(const Model& source) {
  auto mapping = copy_components(source);
  copy_relationships(mapping, source);
  const index_t offset = create_unique_vertices(source.nb_unique_vertices());
  for (index_t source_slot = 0; source_slot < source.nb_slots(); ++source_slot) {
    const auto& component = source.slot_component(source_slot);
    const ComponentID copy_id{component.type,
                              mapping.at(component.type).in2out(component.id)};
    const index_t slot = component_slot(copy_id);
    for (index_t vertex = 0; vertex < source.nb_slot_vertices(source_slot); ++vertex) {
      const index_t unique = source.unique_vertex(source_slot, vertex);
      if (unique != NO_ID) set_unique_vertex(slot, vertex, offset + unique);
    }
  }
  return mapping;
}

template class ModelBuilder<BRep, 3>;
template class ModelBuilder<Section, 2>;

}  // namespace karvel
