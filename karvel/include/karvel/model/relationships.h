#pragma once

#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/types/span.h>

#include <karvel/model/component_type.h>

namespace karvel {

// How components relate: a boundary bounds its incidences (a line bounds a surface), an
// internal component lies inside its embeddings (a line inside a surface). Every relation
// is kept both ways, so each question is answered in O(relations of that component).
class Relationships {
 public:
  enum class RelationType : std::uint8_t { boundary, internal };
  struct Relation {
    RelationType type;
    ComponentID from;  // the boundary or the internal component
    ComponentID to;    // the incidence or the embedding
  };

  absl::Span<const ComponentID> boundaries(const uuid& id) const;
  absl::Span<const ComponentID> incidences(const uuid& id) const;
  absl::Span<const ComponentID> internals(const uuid& id) const;
  absl::Span<const ComponentID> embeddings(const uuid& id) const;
  bool is_boundary(const uuid& boundary, const uuid& incidence) const;
  bool is_internal(const uuid& internal, const uuid& embedding) const;

  // Every relation, in the order it was added.
  const std::vector<Relation>& relations() const { return relations_; }
  index_t nb_relations() const { return static_cast<index_t>(relations_.size()); }

  // Adds a relation once; adding it again changes nothing.
  void add_relation(const Relation& relation, ModelBuilderKey);

 private:
  struct Related {
    std::vector<ComponentID> boundaries;
    std::vector<ComponentID> incidences;
    std::vector<ComponentID> internals;
    std::vector<ComponentID> embeddings;
  };
  const Related* find(const uuid& id) const;

  std::vector<Relation> relations_;
  absl::flat_hash_map<uuid, Related> related_;
};

}  // namespace karvel
