#include <karvel/model/relationships_builder.h>

#include <vector>

namespace karvel {

void RelationshipsBuilder::add_boundary_relation(const ComponentID& boundary,
                                                 const ComponentID& incidence) {
  relationships_.add_relation(
      {Relationships::RelationType::boundary, boundary, incidence}, key());
}

void RelationshipsBuilder::add_internal_relation(const ComponentID& internal,
                                                 const ComponentID& embedding) {
  relationships_.add_relation(
      {Relationships::RelationType::internal, internal, embedding}, key());
}

void RelationshipsBuilder::copy_relationships(const ModelCopyMapping& mapping,
                                              const Relationships& source) {
  const auto translate = [&mapping](const ComponentID& component) {
    return ComponentID{component.type, mapping.at(component.type).in2out(component.id)};
  };
  std::vector<Relationships::Relation> translated;
  translated.reserve(source.nb_relations());
  for (const auto& relation : source.relations()) {
    translated.push_back(
        {relation.type, translate(relation.from), translate(relation.to)});
  }
  for (const auto& relation : translated) relationships_.add_relation(relation, key());
}

}  // namespace karvel
