#include <cstring>

#include <gtest/gtest.h>

#include <karvel/model/model_builder.h>
#include <vemra/remeshing/detail/splitter_impl.h>

namespace vemra::detail {
namespace {

using karvel::Section;
using SectionSplitter = Splitter<Section, hollent::SectionGeometricModifier, 2>;
using Record = SectionSplitter::TriangleToSplit;
using Store = CandidateStore<Record, 2>;

bool same(const Record& a, const Record& b) {
  return a.surface_id == b.surface_id && a.edge == b.edge &&
         std::memcmp(&a.length, &b.length, sizeof(double)) == 0 &&
         std::memcmp(&a.point, &b.point, sizeof(Point<2>)) == 0;
}

class CandidateStoreTest : public ::testing::Test {
 protected:
  CandidateStoreTest() {
    karvel::SectionBuilder builder{section_};
    surface_ = builder.add_surface();
    auto mesh = builder.triangulated_surface_builder(surface_);
    // Coordinates whose midpoints are not exact in binary.
    for (const auto& p :
         {Point<2>{{0.1, 0.3}}, Point<2>{{3.7, 0.2}}, Point<2>{{0.3, 4.9}}})
      mesh.create_point(p);
    mesh.create_triangle({0, 1, 2});
  }
  const karvel::TriangulatedSurface<2>& mesh() const {
    return dynamic_cast<const karvel::TriangulatedSurface<2>&>(
        section_.surface(surface_).get_mesh());
  }
  void move_every_point() {
    karvel::SectionBuilder builder{section_};
    auto mesh = builder.triangulated_surface_builder(surface_);
    for (index_t v = 0; v < 3; ++v) mesh.set_point(v, Point<2>{{10.0 + v, -1.0}});
  }

  Section section_;
  uuid surface_;
};

// A measured candidate round-trips bit for bit, compact or kept whole, and a record made
// whole no longer depends on the mesh.
TEST_F(CandidateStoreTest, GivesBackEachCandidateAsItWasPacked) {
  Store store;
  const auto index = store.register_surface(surface_, mesh());
  const Record measured{surface_, mesh(), 0};
  Record off_the_edge = measured;
  off_the_edge.point = Point<2>{{1.0, 1.0}};
  struct Case {
    const char* name;
    Record record;
    std::uint32_t surface;
    bool is_compact;
  };
  for (const auto& c :
       {Case{"measured", measured, index, true},
        Case{"surface not given", measured, Store::no_surface, false},
        Case{"point off the edge's midpoint", off_the_edge, index, false}}) {
    SCOPED_TRACE(c.name);
    const auto compact = store.compact(c.record, c.surface);
    EXPECT_EQ(compact.has_value(), c.is_compact);
    EXPECT_TRUE(same(
        store.unpack(compact ? *compact : store.keep_whole(c.record), c.record.length),
        c.record));
  }

  // The compact form reads the edge's points when unpacked; made whole, it does not.
  const auto compact = *store.compact(measured, index);
  auto whole = compact;
  store.make_whole(whole);
  move_every_point();
  EXPECT_TRUE(same(store.unpack(whole, measured.length), measured));
  EXPECT_EQ(store.unpack(compact, measured.length).point, (Point<2>{{11.5, -1.0}}));
}

}  // namespace
}  // namespace vemra::detail
