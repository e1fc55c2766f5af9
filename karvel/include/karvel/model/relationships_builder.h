#pragma once

#include <karvel/model/model_copy_mapping.h>
#include <karvel/model/relationships.h>

namespace karvel {

class RelationshipsBuilder {
 public:
  explicit RelationshipsBuilder(Relationships& relationships)
      : relationships_{relationships} {}

  void add_boundary_relation(const ComponentID& boundary, const ComponentID& incidence);
  void add_internal_relation(const ComponentID& internal, const ComponentID& embedding);

  // Adds every relation of `source` between the copies that `mapping` names.
  // Throws KarvelException, before adding anything, when a related component has no
  // copy in `mapping`.
  void copy_relationships(const ModelCopyMapping& mapping, const Relationships& source);

 protected:
  ModelBuilderKey key() const { return {}; }

 private:
  Relationships& relationships_;
};

}  // namespace karvel
