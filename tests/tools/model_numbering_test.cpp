#include <gtest/gtest.h>

#include "../fixtures.h"
#include "model_numbering.h"

namespace vemra::tool {
namespace {

// Large surfaces are numbered in parallel: every point must get the number the one-by-one
// numbering gives, on models whose surfaces share line vertices and touch themselves at
// pinched vertices.
TEST(ModelNumbering, InParallelAsOneByOne) {
  for (const auto& model : {fixtures::brep(fixtures::icosphere_sectors_soup()),
                            fixtures::brep(fixtures::checkerboard_soup<3>(40, 4)),
                            fixtures::brep(fixtures::two_cones_soup())}) {
    const ModelNumbering<karvel::BRep> one_by_one{model, karvel::NO_ID};
    const ModelNumbering<karvel::BRep> parallel{model, 0};
    ASSERT_EQ(parallel.nb_points(), one_by_one.nb_points());
    for (index_t p = 0; p < one_by_one.nb_points(); ++p) {
      EXPECT_EQ(parallel.point(p), one_by_one.point(p));
    }
    for (index_t s = 0; s < one_by_one.surfaces().size(); ++s) {
      EXPECT_EQ(parallel.numbered_with(s), one_by_one.numbered_with(s));
      for (index_t v = 0; v < one_by_one.surfaces()[s].mesh->nb_vertices(); ++v) {
        EXPECT_EQ(parallel.number(s, v), one_by_one.number(s, v));
      }
    }
  }
}

}  // namespace
}  // namespace vemra::tool
