#include <karvel/model/component_type.h>

#include <array>

namespace karvel {

const std::string& component_type_name(ComponentType type) {
  static const std::array<std::string, 4> names{"Corner", "Line", "Surface", "Block"};
  return names[static_cast<std::size_t>(type)];
}

}  // namespace karvel
