#include <gtest/gtest.h>

#include <karvel/basic/trivial_vector.h>

namespace karvel {
namespace {

// Growing moves the block: a value taken from the array itself must survive that.
TEST(TrivialVector, GrowingKeepsValuesTakenFromItself) {
  TrivialVector<int> values{7};
  for (int i = 0; i < 1000; ++i) values.push_back(values[0]);
  values.resize(5000, values.back());
  EXPECT_EQ(values.size(), 5000u);
  for (const int value : values) ASSERT_EQ(value, 7);

  values.assign(10000, values[3]);
  EXPECT_EQ(values.size(), 10000u);
  EXPECT_EQ(values.back(), 7);
}

TEST(TrivialVector, CopiesAreIndependent) {
  TrivialVector<double> source(3, 1.5);
  TrivialVector<double> copy{source};
  copy[0] = 2.0;
  TrivialVector<double> assigned;
  assigned = source;
  source.resize(1);
  EXPECT_EQ(copy.size(), 3u);
  EXPECT_EQ(copy[0], 2.0);
  EXPECT_EQ(assigned.size(), 3u);
  EXPECT_EQ(assigned[2], 1.5);
  TrivialVector<double> moved{std::move(copy)};
  EXPECT_EQ(moved.size(), 3u);
}

}  // namespace
}  // namespace karvel
