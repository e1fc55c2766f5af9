#include <gtest/gtest.h>

#include <karvel/model/model_builder.h>

namespace karvel {
namespace {

// held_alone() is what lets a split skip the other components: it must follow every
// change of the ties, through direct ties, unties and compaction.
TEST(VertexIdentifier, HeldAloneFollowsTheTies) {
  BRep model;
  BRepBuilder builder{model};
  const index_t surface =
      builder.component_slot({ComponentType::surface, builder.add_surface()});
  const index_t line = builder.component_slot({ComponentType::line, builder.add_line()});
  const index_t unique = builder.create_unique_vertices(2);

  builder.set_unique_vertex(surface, 0, unique);
  builder.set_unique_vertex(surface, 1, unique + 1);
  EXPECT_TRUE(model.held_alone(surface, 0));

  builder.set_unique_vertex(line, 4, unique);
  EXPECT_FALSE(model.held_alone(surface, 0));
  EXPECT_FALSE(model.held_alone(line, 4));
  EXPECT_EQ(model.unique_vertex(surface, 0), unique);
  EXPECT_EQ(model.unique_vertex(line, 4), unique);
  EXPECT_TRUE(model.held_alone(surface, 1));

  // Moving the line vertex to the other unique vertex shares that one instead.
  builder.set_unique_vertex(line, 4, unique + 1);
  EXPECT_TRUE(model.held_alone(surface, 0));
  EXPECT_FALSE(model.held_alone(surface, 1));

  // Compaction renumbers the line's vertices; the ties and their flags follow.
  builder.update_component_vertices(line, {NO_ID, NO_ID, NO_ID, NO_ID, 0});
  EXPECT_EQ(model.unique_vertex(line, 0), unique + 1);
  EXPECT_FALSE(model.held_alone(line, 0));
  EXPECT_FALSE(model.held_alone(surface, 1));

  builder.set_unique_vertex(line, 0, NO_ID);
  EXPECT_TRUE(model.held_alone(surface, 1));
  EXPECT_FALSE(model.held_alone(line, 0));  // tied to nothing
  EXPECT_FALSE(model.held_alone(line, 99));
}

}  // namespace
}  // namespace karvel
