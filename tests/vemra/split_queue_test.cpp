#include <queue>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <vemra/remeshing/detail/split_queue.h>

namespace vemra::detail {
namespace {

struct Record {
  double length;
  int tag;
};

struct LengthLess {
  bool operator()(const Record& a, const Record& b) const { return a.length < b.length; }
};

// The split order is part of the result: the queue must pop exactly as the standard
// heap does, equal lengths included, whatever the mix of pushes and pops.
TEST(SplitQueue, PopsInTheStandardHeapOrder) {
  std::mt19937 random{1234};
  for (const int distinct_lengths : {1, 3, 50, 100000}) {
    SCOPED_TRACE(distinct_lengths);
    SplitQueue<Record> queue;
    std::priority_queue<Record, std::vector<Record>, LengthLess> reference;
    int tag = 0;
    for (int step = 0; step < 20000; ++step) {
      if (reference.empty() || random() % 3 != 0) {
        const Record record{double(random() % distinct_lengths), tag++};
        queue.reserve_one();
        queue.push(record.length, record);
        reference.push(record);
      } else {
        ASSERT_EQ(queue.top().tag, reference.top().tag) << "step " << step;
        queue.pop();
        reference.pop();
      }
      ASSERT_EQ(queue.size(), reference.size());
    }
    while (!reference.empty()) {
      ASSERT_EQ(queue.top().tag, reference.top().tag);
      queue.pop();
      reference.pop();
    }
    EXPECT_TRUE(queue.empty());
  }
}

}  // namespace
}  // namespace vemra::detail
