#pragma once

#include <vector>

#include <absl/container/inlined_vector.h>

#include <karvel/basic/chunked_vector.h>
#include <karvel/model/component_index.h>
#include <karvel/model/component_type.h>

namespace karvel {

// A vertex of one component's mesh.
struct ComponentMeshVertex {
  ComponentID component_id;
  index_t vertex;
};

// Unique vertices tie together the mesh vertices of different components that are the
// same model vertex: that is how conformity between components is known. Both directions
// are O(1): a component vertex stores its unique vertex, and each unique vertex chains
// the component vertices that share it.
//
// Components are registered once and then addressed by a dense slot index, which the
// modifier's hot paths use instead of hashing the uuid.
class VertexIdentifier {
 public:
  struct SlotVertex {
    index_t slot;
    index_t vertex;
  };
  using SlotVertices = absl::InlinedVector<SlotVertex, 4>;

  index_t nb_unique_vertices() const { return static_cast<index_t>(heads_.size()); }

  // NO_ID when the component is not registered or the vertex has no unique vertex.
  index_t unique_vertex(const ComponentMeshVertex& vertex) const;
  std::vector<ComponentMeshVertex> component_mesh_vertices(index_t unique_vertex) const;

  // Slot-level access. component_slot() is NO_ID for an unregistered component.
  index_t component_slot(const uuid& component) const;
  const ComponentID& slot_component(index_t slot) const {
    return components_.component(slot);
  }
  index_t nb_slots() const { return static_cast<index_t>(slots_.size()); }
  // One past the highest vertex of that component that was ever tied.
  index_t nb_slot_vertices(index_t slot) const {
    return static_cast<index_t>(slots_[slot].size());
  }
  index_t unique_vertex(index_t slot, index_t vertex) const {
    const auto& vertices = slots_[slot];
    return vertex < vertices.size() ? without_flag(vertices[vertex]) : NO_ID;
  }
  // The component vertices of one unique vertex, without allocation in the common case.
  SlotVertices slot_vertices(index_t unique_vertex) const;
  // True when that component vertex has a unique vertex that no other component vertex
  // shares. Answered from the component's own array, where a split reads anyway.
  bool held_alone(index_t slot, index_t vertex) const {
    const auto& vertices = slots_[slot];
    return vertex < vertices.size() && vertices[vertex] != NO_ID &&
           (vertices[vertex] & shared_flag) == 0;
  }
  // The first vertex of that component at that unique vertex, or NO_ID.
  index_t vertex_in_slot(index_t unique_vertex, index_t slot) const;
  // Calls visit(vertex) for every vertex of that component at that unique vertex: one,
  // or one per fan where a surface touches itself at that point.
  template <typename Visit>
  void for_each_vertex_in_slot(index_t unique_vertex, index_t slot, Visit&& visit) const {
    for (index_t e = heads_[unique_vertex]; e != NO_ID; e = entries_[e].next) {
      if (entries_[e].slot == slot) visit(entries_[e].vertex);
    }
  }

  // Changes, for model builders.
  index_t register_component(const ComponentID& component, ModelBuilderKey);
  index_t create_unique_vertices(index_t count, ModelBuilderKey);
  // Ties that component vertex to `unique_vertex` (NO_ID unties it).
  void set_unique_vertex(index_t slot, index_t vertex, index_t unique_vertex,
                         ModelBuilderKey);
  // Applies a compaction of one component's vertices (old-to-new, NO_ID for removed).
  void update_component_vertices(index_t slot, const std::vector<index_t>& old_to_new,
                                 ModelBuilderKey);
  // Removes the unique vertices that no component vertex uses and renumbers the rest.
  void delete_unused_unique_vertices(ModelBuilderKey);

 private:
  // Each component vertex stores its unique vertex, with `shared_flag` set when other
  // component vertices share it.
  static constexpr index_t shared_flag = index_t{1} << 31;
  static index_t without_flag(index_t unique) {
    return unique == NO_ID ? NO_ID : unique & ~shared_flag;
  }
  struct Entry {
    index_t slot{NO_ID};
    index_t vertex{NO_ID};
    index_t next{NO_ID};
  };
  void unlink(index_t unique_vertex, index_t slot, index_t vertex);
  void link(index_t unique_vertex, index_t slot, index_t vertex);
  // Sets or clears the shared flag of every component vertex of that unique vertex.
  void flag_chain(index_t unique_vertex);
  void rebuild_chains();

  // A component's slot is its number in components_; slots_ holds its vertices' unique
  // vertices, chunked: a model of many small components grows it without copies. The
  // few vertices of a corner or a short line are kept in place, without an allocation.
  using UniqueVertices = absl::InlinedVector<index_t, 4>;
  ComponentIndex components_;
  ChunkedVector<UniqueVertices, 10> slots_;
  std::vector<index_t> heads_;
  // Chunked: one entry per component vertex, grown by every split.
  ChunkedVector<Entry> entries_;
  std::vector<index_t> free_entries_;
};

}  // namespace karvel
