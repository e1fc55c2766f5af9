#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/types/span.h>

#include <karvel/basic/chunked_vector.h>
#include <karvel/model/component_index.h>
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
  std::vector<Relation> relations() const;
  index_t nb_relations() const { return static_cast<index_t>(relations_.size()); }

  // Adds a relation once; adding it again changes nothing.
  void add_relation(const Relation& relation, ModelBuilderKey);

 private:
  // The components related to one component, by kind: its boundaries, incidences,
  // internals and embeddings one after the other in one array (a model of many small
  // components holds four times fewer arrays).
  enum Kind : std::uint8_t {
    boundary_kind,
    incidence_kind,
    internal_kind,
    embedding_kind
  };
  // Most components of a model of many small ones have a single relation: it is kept in
  // place, without an allocation.
  struct Related {
    absl::InlinedVector<ComponentID, 1> components;
    std::array<std::uint32_t, 3> ends{};  // where each of the first three kinds ends

    absl::Span<const ComponentID> of(Kind kind) const;
    void add(Kind kind, const ComponentID& component);
  };
  absl::Span<const ComponentID> related(const uuid& id, Kind kind) const;
  // The number of that component, numbering it when new.
  index_t number(const ComponentID& component);

  // A relation between the components of two numbers: a model of many small components
  // keeps a fifth of the memory a Relation takes.
  struct NumberedRelation {
    RelationType type;
    index_t from;
    index_t to;
  };
  std::vector<NumberedRelation> relations_;
  ComponentIndex components_;
  // By component number; chunked, it grows without copies.
  ChunkedVector<Related, 10> related_;
};

}  // namespace karvel
