#include <karvel/model/relationships.h>

#include <algorithm>

namespace karvel {
namespace {

bool contains(absl::Span<const ComponentID> components, const uuid& id) {
  return std::any_of(components.begin(), components.end(),
                     [&id](const ComponentID& component) { return component.id == id; });
}

}  // namespace

absl::Span<const ComponentID> Relationships::Related::of(Kind kind) const {
  const std::uint32_t begin = kind == boundary_kind ? 0 : ends[kind - 1];
  const std::uint32_t end =
      kind == embedding_kind ? static_cast<std::uint32_t>(components.size()) : ends[kind];
  return absl::MakeConstSpan(components.data() + begin, end - begin);
}

void Relationships::Related::add(Kind kind, const ComponentID& component) {
  const std::uint32_t at =
      kind == embedding_kind ? static_cast<std::uint32_t>(components.size()) : ends[kind];
  components.insert(components.begin() + at, component);
  for (int k = kind; k < 3; ++k) ++ends[k];
}

absl::Span<const ComponentID> Relationships::related(const uuid& id, Kind kind) const {
  const auto found = index_of_.find(id);
  return found == index_of_.end() ? absl::Span<const ComponentID>{}
                                  : related_[found->second].of(kind);
}

Relationships::Related& Relationships::related_to(const uuid& id) {
  const auto [found, added] = index_of_.try_emplace(id, index_t(related_.size()));
  if (added) {
    try {
      related_.push_back({});
    } catch (...) {
      index_of_.erase(found);
      throw;
    }
  }
  return related_[found->second];
}

absl::Span<const ComponentID> Relationships::boundaries(const uuid& id) const {
  return related(id, boundary_kind);
}
absl::Span<const ComponentID> Relationships::incidences(const uuid& id) const {
  return related(id, incidence_kind);
}
absl::Span<const ComponentID> Relationships::internals(const uuid& id) const {
  return related(id, internal_kind);
}
absl::Span<const ComponentID> Relationships::embeddings(const uuid& id) const {
  return related(id, embedding_kind);
}

bool Relationships::is_boundary(const uuid& boundary, const uuid& incidence) const {
  return contains(incidences(boundary), incidence);
}

bool Relationships::is_internal(const uuid& internal, const uuid& embedding) const {
  return contains(embeddings(internal), embedding);
}

void Relationships::add_relation(const Relation& relation, ModelBuilderKey) {
  const bool boundary = relation.type == RelationType::boundary;
  if (boundary ? is_boundary(relation.from.id, relation.to.id)
               : is_internal(relation.from.id, relation.to.id)) {
    return;
  }
  relations_.push_back(relation);
  related_to(relation.from.id)
      .add(boundary ? incidence_kind : embedding_kind, relation.to);
  related_to(relation.to.id).add(boundary ? boundary_kind : internal_kind, relation.from);
}

}  // namespace karvel
