#pragma once

#include <string>

#include <absl/container/flat_hash_map.h>

#include <karvel/basic/uuid.h>
#include <karvel/model/component_type.h>

namespace karvel {

// A one-to-one map between the uuids of source components and those of their copies.
class BijectiveMapping {
 public:
  // Throws KarvelException if either side is already mapped to something else.
  void map(const uuid& in, const uuid& out);
  // Throws KarvelException naming the uuid when it is not mapped.
  const uuid& in2out(const uuid& in) const;
  const uuid& out2in(const uuid& out) const;
  bool has_mapping_input(const uuid& in) const { return in2out_.contains(in); }
  bool has_mapping_output(const uuid& out) const { return out2in_.contains(out); }
  index_t size() const { return static_cast<index_t>(in2out_.size()); }
  const absl::flat_hash_map<uuid, uuid>& in2out_map() const { return in2out_; }

 private:
  absl::flat_hash_map<uuid, uuid> in2out_;
  absl::flat_hash_map<uuid, uuid> out2in_;
};

// For each component type ("Corner", "Line", ...), the mapping of source uuids to copy
// uuids that a model copy produced. Move it; it is large.
class ModelCopyMapping {
 public:
  bool has_mapping_type(ComponentType type) const {
    return mappings_.contains(component_type_name(type));
  }
  // Throws KarvelException when that type has no mapping.
  const BijectiveMapping& at(ComponentType type) const;
  BijectiveMapping& operator[](ComponentType type) {
    return mappings_[component_type_name(type)];
  }
  index_t nb_types() const { return static_cast<index_t>(mappings_.size()); }

 private:
  absl::flat_hash_map<std::string, BijectiveMapping> mappings_;
};

}  // namespace karvel
