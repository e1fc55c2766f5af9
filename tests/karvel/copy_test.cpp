#include <gtest/gtest.h>

#include <karvel/basic/exception.h>
#include <karvel/model/model_builder.h>

#include "fixtures.h"

namespace karvel {
namespace {

// The mapping is a bijection between the source's components and components of the copy
// of the same kind, and the copies' meshes have the same sizes.
void expect_components_mapped(const BRep& source, const BRep& copy,
                              const ModelCopyMapping& mapping) {
  ASSERT_EQ(mapping.at(ComponentType::surface).size(), source.nb_surfaces());
  ASSERT_EQ(mapping.at(ComponentType::line).size(), source.nb_lines());
  ASSERT_EQ(mapping.at(ComponentType::corner).size(), source.nb_corners());
  for (const auto& surface : source.surfaces()) {
    const auto& copied =
        copy.surface(mapping.at(ComponentType::surface).in2out(surface.id()));
    EXPECT_NE(copied.id(), surface.id());
    EXPECT_EQ(copied.name(), surface.name());
    EXPECT_EQ(copied.get_mesh().nb_polygons(), surface.get_mesh().nb_polygons());
    EXPECT_EQ(copied.get_mesh().nb_vertices(), surface.get_mesh().nb_vertices());
  }
  for (const auto& line : source.lines()) {
    const auto& copied = copy.line(mapping.at(ComponentType::line).in2out(line.id()));
    EXPECT_EQ(copied.mesh().nb_edges(), line.mesh().nb_edges());
  }
}

TEST(Copy, CopyBringsRelationshipsAndUniqueVertices) {
  const auto source = fixtures::square_with_fin();
  BRep copy;
  const auto mapping = BRepBuilder{copy}.copy(source);
  expect_components_mapped(source, copy, mapping);
  EXPECT_EQ(copy.nb_relations(), source.nb_relations());
  for (const auto& relation : source.relations()) {
    const auto from = mapping.at(relation.from.type).in2out(relation.from.id);
    const auto to = mapping.at(relation.to.type).in2out(relation.to.id);
    EXPECT_TRUE(relation.type == Relationships::RelationType::boundary
                    ? copy.is_boundary(from, to)
                    : copy.is_internal(from, to));
  }
  EXPECT_EQ(copy.nb_unique_vertices(), source.nb_unique_vertices());
  for (const auto& surface : source.surfaces()) {
    const auto copied = mapping.at(ComponentType::surface).in2out(surface.id());
    for (index_t v = 0; v < surface.get_mesh().nb_vertices(); ++v) {
      EXPECT_EQ(copy.unique_vertex({{ComponentType::surface, copied}, v}),
                source.unique_vertex({surface.component_id(), v}));
    }
  }
}

TEST(Copy, CopyComponentsThenRelationshipsThroughTheMapping) {
  const auto source = fixtures::book();
  BRep copy;
  BRepBuilder builder{copy};
  const auto mapping = builder.copy_components(source);
  expect_components_mapped(source, copy, mapping);
  EXPECT_EQ(copy.nb_relations(), 0u);
  EXPECT_EQ(copy.nb_unique_vertices(), 0u);
  builder.copy_relationships(mapping, source);
  EXPECT_EQ(copy.nb_relations(), source.nb_relations());
  for (const auto& line : source.lines()) {
    EXPECT_EQ(copy.incidences(mapping.at(ComponentType::line).in2out(line.id())).size(),
              source.incidences(line.id()).size());
  }
}

TEST(Copy, CopyIntoAModelThatIsNotEmptyAdds) {
  const auto source = fixtures::cube();
  BRep copy;
  BRepBuilder builder{copy};
  builder.copy(source);
  const auto second = builder.copy(source);
  EXPECT_EQ(copy.nb_surfaces(), 12u);
  EXPECT_EQ(copy.nb_unique_vertices(), 16u);
  EXPECT_EQ(second.at(ComponentType::surface).size(), 6u);
}

TEST(Copy, RelationshipsWithoutMappingAreRejectedBeforeAnyChange) {
  const auto source = fixtures::cube();
  BRep copy;
  BRepBuilder builder{copy};
  ModelCopyMapping partial;
  EXPECT_THROW(builder.copy_relationships(partial, source), KarvelException);
  EXPECT_EQ(copy.nb_relations(), 0u);
}

TEST(Copy, UnknownIdsAreNamed) {
  const auto cube = fixtures::cube();
  const uuid unknown;
  try {
    cube.surface(unknown);
    FAIL() << "no exception";
  } catch (const KarvelException& error) {
    EXPECT_NE(std::string{error.what()}.find(unknown.string()), std::string::npos);
  }
  EXPECT_THROW(cube.line(unknown), KarvelException);
  EXPECT_THROW(cube.corner(unknown), KarvelException);
  EXPECT_THROW(cube.block(unknown), KarvelException);
  BijectiveMapping mapping;
  mapping.map(unknown, unknown);
  EXPECT_THROW(mapping.map(unknown, uuid{}), KarvelException);
}

TEST(Copy, BlocksAndSectionsCopy) {
  BRep source;
  BRepBuilder source_builder{source};
  const auto block = source_builder.add_block();
  source_builder.set_name({ComponentType::block, block}, "reservoir");
  BRep copy;
  const auto mapping = BRepBuilder{copy}.copy(source);
  EXPECT_EQ(copy.block(mapping.at(ComponentType::block).in2out(block)).name(),
            "reservoir");

  const auto section = fixtures::two_regions();
  Section section_copy;
  const auto section_mapping = SectionBuilder{section_copy}.copy(section);
  EXPECT_EQ(section_copy.nb_surfaces(), 2u);
  EXPECT_EQ(section_mapping.at(ComponentType::line).size(), 3u);
}

}  // namespace
}  // namespace karvel
