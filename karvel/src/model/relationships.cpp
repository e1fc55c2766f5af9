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
  const index_t found = components_.find(id);
  return found == NO_ID ? absl::Span<const ComponentID>{} : related_[found].of(kind);
}

index_t Relationships::number(const ComponentID& component) {
  const index_t known = components_.find(component.id);
  if (known != NO_ID) return known;
  related_.push_back({});
  try {
    components_.insert(component);
  } catch (...) {
    related_.pop_back();
    throw;
  }
  return static_cast<index_t>(related_.size() - 1);
}

std::vector<Relationships::Relation> Relationships::relations() const {
  std::vector<Relation> result;
  result.reserve(relations_.size());
  for (const auto& relation : relations_) {
    result.push_back({relation.type, components_.component(relation.from),
                      components_.component(relation.to)});
  }
  return result;
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
  const index_t from = number(relation.from);
  const index_t to = number(relation.to);
  relations_.push_back({relation.type, from, to});
  related_[from].add(boundary ? incidence_kind : embedding_kind, relation.to);
  related_[to].add(boundary ? boundary_kind : internal_kind, relation.from);
}

}  // namespace karvel
