#pragma once

#include <memory>

#include <karvel/basic/identifier.h>
#include <karvel/mesh/edged_curve.h>
#include <karvel/mesh/surface_mesh.h>
#include <karvel/model/component_type.h>

namespace karvel {

// Model components: each is an Identifier that owns its mesh. Only model builders
// change them.

template <index_t D>
class Corner : public Identifier {
 public:
  static constexpr ComponentType component_type = ComponentType::corner;
  explicit Corner(const uuid& id) : Identifier{id} {}
  ComponentID component_id() const { return {component_type, id()}; }
  const PointSet<D>& mesh() const { return mesh_; }
  PointSet<D>& modifiable_mesh(ModelBuilderKey) { return mesh_; }

 private:
  PointSet<D> mesh_;
};

template <index_t D>
class Line : public Identifier {
 public:
  static constexpr ComponentType component_type = ComponentType::line;
  explicit Line(const uuid& id) : Identifier{id} {}
  ComponentID component_id() const { return {component_type, id()}; }
  const EdgedCurve<D>& mesh() const { return mesh_; }
  EdgedCurve<D>& modifiable_mesh(ModelBuilderKey) { return mesh_; }

 private:
  EdgedCurve<D> mesh_;
};

template <index_t D>
class Surface : public Identifier {
 public:
  static constexpr ComponentType component_type = ComponentType::surface;
  Surface(const uuid& id, std::unique_ptr<SurfaceMesh<D>> mesh)
      : Identifier{id}, mesh_{std::move(mesh)} {}
  ComponentID component_id() const { return {component_type, id()}; }
  // The surface's mesh; dynamic_cast it to TriangulatedSurface<D> or PolygonalSurface<D>.
  const SurfaceMesh<D>& get_mesh() const { return *mesh_; }
  const SurfaceMesh<D>& mesh() const { return *mesh_; }
  SurfaceMesh<D>& modifiable_mesh(ModelBuilderKey) { return *mesh_; }

 private:
  std::unique_ptr<SurfaceMesh<D>> mesh_;
};

// A volume bounded by surfaces. It has no mesh of its own yet.
template <index_t D>
class Block : public Identifier {
 public:
  static constexpr ComponentType component_type = ComponentType::block;
  explicit Block(const uuid& id) : Identifier{id} {}
  ComponentID component_id() const { return {component_type, id()}; }
};

}  // namespace karvel
