#include <karvel/model/component_index.h>

namespace karvel {

ComponentIndex::ComponentIndex()
    : components_{std::make_unique<Components>()},
      numbers_{0, Hash{components_.get()}, Equal{components_.get()}} {}

index_t ComponentIndex::find(const uuid& id) const {
  const auto found = numbers_.find(id);
  return found == numbers_.end() ? NO_ID : *found;
}

std::pair<index_t, bool> ComponentIndex::insert(const ComponentID& component) {
  if (!components_) *this = ComponentIndex{};  // moved from: start again
  const index_t existing = find(component.id);
  if (existing != NO_ID) return {existing, false};
  const auto number = static_cast<index_t>(components_->size());
  components_->push_back(component);
  try {
    numbers_.insert(number);
  } catch (...) {
    components_->pop_back();
    throw;
  }
  return {number, true};
}

}  // namespace karvel
