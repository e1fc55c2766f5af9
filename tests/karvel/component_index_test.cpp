#include <gtest/gtest.h>

#include <vector>

#include <karvel/model/component_index.h>

namespace karvel {
namespace {

// The table hashes through the array of components: after a move, the moved-to index must
// still find every component and keep growing (rehashing reads the array), and the
// moved-from one must work again from empty.
TEST(ComponentIndex, NumbersSurviveMovesAndGrowth) {
  std::vector<ComponentID> components;
  ComponentIndex index;
  for (int i = 0; i < 1000; ++i) {
    components.push_back({ComponentType::line, uuid{}});
    EXPECT_EQ(index.insert(components.back()), std::make_pair(index_t(i), true));
  }
  EXPECT_EQ(index.insert(components[7]), std::make_pair(index_t{7}, false));

  ComponentIndex moved{std::move(index)};
  for (int i = 0; i < 5000; ++i) {
    components.push_back({ComponentType::surface, uuid{}});
    moved.insert(components.back());
  }
  ASSERT_EQ(moved.size(), components.size());
  for (index_t n = 0; n < components.size(); ++n) {
    EXPECT_EQ(moved.find(components[n].id), n);
    EXPECT_EQ(moved.component(n), components[n]);
  }
  EXPECT_EQ(moved.find(uuid{}), NO_ID);

  EXPECT_EQ(index.find(components[0].id), NO_ID);
  EXPECT_EQ(index.insert(components[0]), std::make_pair(index_t{0}, true));
  EXPECT_EQ(index.find(components[0].id), 0u);
  EXPECT_EQ(moved.find(components[0].id), 0u);
}

}  // namespace
}  // namespace karvel
