#include <cmath>
#include <set>
#include <string>

#include <absl/container/flat_hash_set.h>
#include <gtest/gtest.h>

#include <karvel/basic/exception.h>
#include <karvel/basic/uuid.h>
#include <karvel/geometry/mensuration.h>

namespace karvel {
namespace {

TEST(Uuid, PrintsAndParsesBackAndStaysDistinct) {
  absl::flat_hash_set<uuid> seen;
  for (int i = 0; i < 1000; ++i) {
    const uuid id;
    EXPECT_EQ(uuid{id.string()}, id);
    EXPECT_EQ(id.string()[14], '4');  // version 4
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(Uuid, RejectsMalformedText) {
  for (const std::string text : {"", "not-a-uuid", "0123456789abcdef0123456789abcdef0123",
                                 "01234567-89ab-cdef-0123-456789abcdeg"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(uuid{text}, KarvelException);
  }
}

TEST(Point, DivisionGuardsTinyDivisors) {
  const Point<2> p{{4.0, -2.0}};
  EXPECT_EQ(p / 2.0, (Point<2>{{2.0, -1.0}}));
  EXPECT_EQ(p / -0.5, (Point<2>{{-8.0, 4.0}}));
  EXPECT_NO_THROW((void)(p / 2e-30));
  for (const double divisor : {0.0, 1e-30, -1e-30, 1e-31, std::nan("")}) {
    SCOPED_TRACE(divisor);
    try {
      (void)(p / divisor);
      FAIL() << "no exception";
    } catch (const KarvelException& error) {
      EXPECT_STREQ(error.what(),
                   "[Point::operator/] Cannot divide Point by something close to zero");
    }
  }
}

TEST(Point, Arithmetic) {
  const Point<3> a{{1, 2, 3}};
  const Point<3> b{{4, 6, 3}};
  EXPECT_EQ(a + b, (Point<3>{{5, 8, 6}}));
  EXPECT_EQ(b - a, (Point<3>{{3, 4, 0}}));
  EXPECT_EQ(a * 2.0, (Point<3>{{2, 4, 6}}));
  EXPECT_DOUBLE_EQ(point_point_distance(a, b), 5.0);
  EXPECT_DOUBLE_EQ(a.value(2), 3.0);
}

TEST(Geometry, ElementsReferToTheirPointsInOrder) {
  const Point<3> p0{{0, 0, 0}}, p1{{1, 0, 0}}, p2{{0, 1, 0}}, p3{{0, 0, 1}};
  const Tetra tetra{p0, p1, p2, p3};
  EXPECT_EQ(&tetra.vertices()[3].get(), &p3);
  const Triangle<3> triangle{p0, p1, p2};
  EXPECT_EQ(&triangle.vertices()[1].get(), &p1);
  EXPECT_DOUBLE_EQ(triangle_area(triangle), 0.5);
  EXPECT_NEAR(triangle_smallest_angle(triangle), 45.0, 1e-12);
  EXPECT_DOUBLE_EQ(triangle_signed_area(
                       Triangle<2>{Point<2>{{0, 0}}, Point<2>{{0, 1}}, Point<2>{{1, 0}}}),
                   -0.5);
}

TEST(Geometry, PointStrictlyInsideSegment) {
  const Point<2> a{{0, 0}}, b{{2, 0}};
  const Segment<2> segment{a, b};
  struct Case {
    Point<2> point;
    bool inside;
  };
  for (const auto& c : {Case{Point<2>{{1, 0}}, true}, Case{Point<2>{{1e-3, 0}}, true},
                        Case{Point<2>{{0, 0}}, false}, Case{Point<2>{{2, 0}}, false},
                        Case{Point<2>{{3, 0}}, false}, Case{Point<2>{{1, 0.1}}, false},
                        Case{Point<2>{{1, 1e-12}}, true}}) {
    SCOPED_TRACE(::testing::PrintToString(c.point));
    EXPECT_EQ(point_strictly_inside_segment(c.point, segment), c.inside);
  }
  EXPECT_FALSE(point_strictly_inside_segment(a, Segment<2>{a, a}));
}

}  // namespace
}  // namespace karvel
