#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include <karvel/basic/common.h>
#include <karvel/basic/uuid.h>

namespace karvel {

// The four kinds of model components.
enum class ComponentType : std::uint8_t { corner, line, surface, block };

// "Corner", "Line", "Surface" or "Block": the key of a component kind in copy mappings.
const std::string& component_type_name(ComponentType type);

// A component of a model: its kind and its uuid.
struct ComponentID {
  ComponentType type;
  uuid id;

  friend bool operator==(const ComponentID& a, const ComponentID& b) {
    return a.type == b.type && a.id == b.id;
  }
  friend bool operator!=(const ComponentID& a, const ComponentID& b) { return !(a == b); }
  friend std::ostream& operator<<(std::ostream& out, const ComponentID& component) {
    return out << component_type_name(component.type) << " " << component.id;
  }
};

// Passkey of the operations that change a model: only model builders can make one.
class ModelBuilderKey {
  template <typename Model, index_t D>
  friend class ModelBuilder;
  friend class RelationshipsBuilder;
  ModelBuilderKey() = default;
};

}  // namespace karvel
