#include <gtest/gtest.h>

#include <karvel/basic/trivial_vector.h>

namespace karvel {
namespace {

// Growing moves the block, from allocated to mapped storage past 1 MiB and by remapping
// beyond: the values survive, a value taken from the array itself included.
TEST(TrivialVector, GrowingKeepsValuesTakenFromItself) {
  TrivialVector<int> values{7};
  for (int i = 0; i < 1000; ++i) values.push_back(values[0]);
  values.resize(5000, values.back());
  EXPECT_EQ(values.size(), 5000u);
  for (const int value : values) ASSERT_EQ(value, 7);

  values.assign(10000, values[3]);
  EXPECT_EQ(values.size(), 10000u);
  EXPECT_EQ(values.back(), 7);

  TrivialVector<double> large;
  for (int i = 0; i < 1'000'000; ++i) large.push_back(i == 0 ? 0.5 : large[i - 1] + 1.0);
  for (int i = 0; i < 1'000'000; ++i) ASSERT_EQ(large[i], i + 0.5);
  const TrivialVector<double> copy{large};
  large.resize(3'000'000, large.back());
  EXPECT_EQ(large[2'999'999], 999'999.5);
  EXPECT_EQ(copy.size(), 1'000'000u);
  EXPECT_EQ(copy[123'456], 123'456.5);
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
