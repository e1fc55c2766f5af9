#pragma once

#include <memory>
#include <utility>

#include <absl/container/flat_hash_set.h>

#include <karvel/basic/chunked_vector.h>
#include <karvel/model/component_type.h>

namespace karvel {

// Numbers components densely in the order they are first seen and finds a number from a
// uuid in O(1). The hash table holds only the numbers (5 bytes a slot, where a table from
// uuid to number takes 25) and reads each uuid from the array of components, which the
// owner keeps in place of its own copies.
class ComponentIndex {
 public:
  ComponentIndex();
  ComponentIndex(ComponentIndex&&) = default;
  ComponentIndex& operator=(ComponentIndex&&) = default;
  ComponentIndex(const ComponentIndex&) = delete;
  ComponentIndex& operator=(const ComponentIndex&) = delete;

  index_t size() const {
    return components_ ? static_cast<index_t>(components_->size()) : 0;
  }
  // NO_ID when no component has that uuid.
  index_t find(const uuid& id) const;
  const ComponentID& component(index_t number) const { return (*components_)[number]; }
  // The number of that component and whether it is new.
  std::pair<index_t, bool> insert(const ComponentID& component);

 private:
  using Components = ChunkedVector<ComponentID, 10>;
  struct Hash {
    using is_transparent = void;
    const Components* components;
    std::size_t operator()(const uuid& id) const { return absl::HashOf(id); }
    std::size_t operator()(index_t number) const {
      return absl::HashOf((*components)[number].id);
    }
  };
  struct Equal {
    using is_transparent = void;
    const Components* components;
    bool operator()(index_t a, index_t b) const { return a == b; }
    bool operator()(index_t number, const uuid& id) const {
      return (*components)[number].id == id;
    }
    bool operator()(const uuid& id, index_t number) const { return (*this)(number, id); }
  };
  using Numbers = absl::flat_hash_set<index_t, Hash, Equal>;

  // On the heap so that a move leaves it where the table's hash and equality look.
  std::unique_ptr<Components> components_;
  Numbers numbers_;
};

}  // namespace karvel
