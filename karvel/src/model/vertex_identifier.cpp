#include <karvel/model/vertex_identifier.h>

#include <karvel/basic/exception.h>

namespace karvel {

index_t VertexIdentifier::component_slot(const uuid& component) const {
  return components_.find(component);
}

index_t VertexIdentifier::unique_vertex(const ComponentMeshVertex& vertex) const {
  const index_t slot = component_slot(vertex.component_id.id);
  return slot == NO_ID ? NO_ID : unique_vertex(slot, vertex.vertex);
}

std::vector<ComponentMeshVertex> VertexIdentifier::component_mesh_vertices(
    index_t unique_vertex) const {
  std::vector<ComponentMeshVertex> result;
  for (const auto& entry : slot_vertices(unique_vertex)) {
    result.push_back({components_.component(entry.slot), entry.vertex});
  }
  return result;
}

VertexIdentifier::SlotVertices VertexIdentifier::slot_vertices(
    index_t unique_vertex) const {
  SlotVertices result;
  for (index_t e = heads_[unique_vertex]; e != NO_ID; e = entries_[e].next) {
    result.push_back({entries_[e].slot, entries_[e].vertex});
  }
  return result;
}

index_t VertexIdentifier::vertex_in_slot(index_t unique_vertex, index_t slot) const {
  for (index_t e = heads_[unique_vertex]; e != NO_ID; e = entries_[e].next) {
    if (entries_[e].slot == slot) return entries_[e].vertex;
  }
  return NO_ID;
}

index_t VertexIdentifier::register_component(const ComponentID& component,
                                             ModelBuilderKey) {
  const index_t known = components_.find(component.id);
  if (known != NO_ID) return known;
  slots_.push_back({});
  try {
    components_.insert(component);
  } catch (...) {
    slots_.pop_back();
    throw;
  }
  return nb_slots() - 1;
}

index_t VertexIdentifier::create_unique_vertices(index_t count, ModelBuilderKey) {
  const index_t first = nb_unique_vertices();
  if (count >= shared_flag - 1 - first) {
    throw KarvelException{
        "[VertexIdentifier::create_unique_vertices] A model holds fewer than " +
        std::to_string(shared_flag - 1) + " unique vertices"};
  }
  if (count == 1) {
    heads_.push_back(NO_ID);  // one per split: keep it cheap
  } else {
    heads_.insert(heads_.end(), count, NO_ID);
  }
  return first;
}

void VertexIdentifier::flag_chain(index_t unique_vertex) {
  const index_t first = heads_[unique_vertex];
  const bool shared = first != NO_ID && entries_[first].next != NO_ID;
  for (index_t e = first; e != NO_ID; e = entries_[e].next) {
    index_t& stored = slots_[entries_[e].slot][entries_[e].vertex];
    stored = shared ? stored | shared_flag : stored & ~shared_flag;
  }
}

void VertexIdentifier::unlink(index_t unique_vertex, index_t slot, index_t vertex) {
  index_t* link = &heads_[unique_vertex];
  while (*link != NO_ID) {
    const index_t e = *link;
    if (entries_[e].slot == slot && entries_[e].vertex == vertex) {
      *link = entries_[e].next;
      free_entries_.push_back(e);
      flag_chain(unique_vertex);
      return;
    }
    link = &entries_[e].next;
  }
}

void VertexIdentifier::link(index_t unique_vertex, index_t slot, index_t vertex) {
  const Entry entry{slot, vertex, heads_[unique_vertex]};
  if (free_entries_.empty()) {
    entries_.push_back(entry);
    heads_[unique_vertex] = static_cast<index_t>(entries_.size() - 1);
  } else {
    const index_t e = free_entries_.back();
    free_entries_.pop_back();
    entries_[e] = entry;
    heads_[unique_vertex] = e;
  }
  // The common case, a vertex that a split just created alone, has nothing to flag.
  if (entry.next != NO_ID) flag_chain(unique_vertex);
}

void VertexIdentifier::set_unique_vertex(index_t slot, index_t vertex,
                                         index_t unique_vertex, ModelBuilderKey) {
  if (slot >= nb_slots() ||
      (unique_vertex != NO_ID && unique_vertex >= nb_unique_vertices())) {
    throw KarvelException{"[VertexIdentifier::set_unique_vertex] Slot " +
                          std::to_string(slot) + " or unique vertex " +
                          std::to_string(unique_vertex) + " is out of range"};
  }
  auto& vertices = slots_[slot];
  if (vertex == vertices.size()) {
    vertices.push_back(NO_ID);  // the common case: a vertex just created
  } else if (vertex > vertices.size()) {
    vertices.resize(vertex + 1, NO_ID);
  }
  const index_t previous = without_flag(vertices[vertex]);
  if (previous == unique_vertex) return;
  if (previous != NO_ID) unlink(previous, slot, vertex);
  vertices[vertex] = unique_vertex;
  if (unique_vertex != NO_ID) link(unique_vertex, slot, vertex);
}

void VertexIdentifier::rebuild_chains() {
  heads_.assign(heads_.size(), NO_ID);
  entries_.clear();
  free_entries_.clear();
  for (index_t slot = 0; slot < nb_slots(); ++slot) {
    const auto& vertices = slots_[slot];
    for (index_t v = 0; v < vertices.size(); ++v) {
      const index_t unique = without_flag(vertices[v]);
      if (unique == NO_ID) continue;
      entries_.push_back({slot, v, heads_[unique]});
      heads_[unique] = static_cast<index_t>(entries_.size() - 1);
    }
  }
  for (index_t unique = 0; unique < nb_unique_vertices(); ++unique) flag_chain(unique);
}

void VertexIdentifier::update_component_vertices(index_t slot,
                                                 const std::vector<index_t>& old_to_new,
                                                 ModelBuilderKey) {
  auto& vertices = slots_[slot];
  UniqueVertices renumbered;
  for (index_t old = 0; old < old_to_new.size() && old < vertices.size(); ++old) {
    const index_t now = old_to_new[old];
    if (now == NO_ID) continue;
    if (now >= renumbered.size()) renumbered.resize(now + 1, NO_ID);
    renumbered[now] = vertices[old];
  }
  vertices = std::move(renumbered);
  rebuild_chains();
}

void VertexIdentifier::delete_unused_unique_vertices(ModelBuilderKey) {
  std::vector<index_t> old_to_new(heads_.size(), NO_ID);
  index_t kept = 0;
  for (index_t u = 0; u < heads_.size(); ++u) {
    if (heads_[u] != NO_ID) old_to_new[u] = kept++;
  }
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
    for (auto& unique : slots_[slot]) {
      if (unique != NO_ID) unique = old_to_new[without_flag(unique)];
    }
  }
  heads_.resize(kept);
  rebuild_chains();
}

}  // namespace karvel
