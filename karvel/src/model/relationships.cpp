#include <karvel/model/relationships.h>

#include <algorithm>

namespace karvel {
namespace {

bool contains(absl::Span<const ComponentID> components, const uuid& id) {
  return std::any_of(components.begin(), components.end(),
                     [&id](const ComponentID& component) { return component.id == id; });
}

}  // namespace

const Relationships::Related* Relationships::find(const uuid& id) const {
  const auto found = related_.find(id);
  return found == related_.end() ? nullptr : &found->second;
}

absl::Span<const ComponentID> Relationships::boundaries(const uuid& id) const {
  const auto* related = find(id);
  return related ? absl::MakeConstSpan(related->boundaries)
                 : absl::Span<const ComponentID>{};
}
absl::Span<const ComponentID> Relationships::incidences(const uuid& id) const {
  const auto* related = find(id);
  return related ? absl::MakeConstSpan(related->incidences)
                 : absl::Span<const ComponentID>{};
}
absl::Span<const ComponentID> Relationships::internals(const uuid& id) const {
  const auto* related = find(id);
  return related ? absl::MakeConstSpan(related->internals)
                 : absl::Span<const ComponentID>{};
}
absl::Span<const ComponentID> Relationships::embeddings(const uuid& id) const {
  const auto* related = find(id);
  return related ? absl::MakeConstSpan(related->embeddings)
                 : absl::Span<const ComponentID>{};
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
  // One at a time: inserting the second key may move the first entry.
  auto& from = related_[relation.from.id];
  (boundary ? from.incidences : from.embeddings).push_back(relation.to);
  auto& to = related_[relation.to.id];
  (boundary ? to.boundaries : to.internals).push_back(relation.from);
}

}  // namespace karvel
