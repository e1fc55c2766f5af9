#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include <karvel/basic/exception.h>
#include <karvel/model/checker.h>
#include <vemra/remeshing/detail/remeshing_data_impl.h>

#include "fixtures.h"
#include "test_metrics.h"

namespace vemra {
namespace {

using karvel::BRep;
using karvel::ComponentType;

using Uniform = fixtures::ConstantMetric<3>;

TEST(ParallelRemeshingData, SuccessGivesBothCopiesAndMappings) {
  for (const bool empty : {false, true}) {
    SCOPED_TRACE(empty);
    const BRep input = empty ? BRep{} : fixtures::square_with_fin();
    BRep output;
    const Uniform metric{0.1};
    const auto data =
        initialize_remeshing_data<karvel::BRepBuilder, hollent::BRepGeometricModifier,
                                  BRep, 3>(input, output, metric);
    EXPECT_EQ(&data.input, &input);
    EXPECT_EQ(&data.output, &output);
    EXPECT_EQ(&data.metric, &metric);
    EXPECT_EQ(output.nb_surfaces(), input.nb_surfaces());
    EXPECT_EQ(output.nb_relations(), input.nb_relations());
    EXPECT_EQ(data.background.nb_surfaces(), input.nb_surfaces());
    for (const auto& surface : input.surfaces()) {
      const auto& copy = output.surface(
          data.output_mapping.at(ComponentType::surface).in2out(surface.id()));
      EXPECT_EQ(copy.get_mesh().nb_polygons(), surface.get_mesh().nb_polygons());
      const auto& refined = data.background.surface(
          data.background_mapping.at(ComponentType::surface).in2out(surface.id()));
      EXPECT_GT(refined.get_mesh().nb_polygons(), surface.get_mesh().nb_polygons());
    }
    EXPECT_TRUE(karvel::check_model(data.background).ok());
  }
}

// Slow output job, failures on demand: shows that nothing returns or throws while the
// output job still runs.
struct SlowBuilder : karvel::BRepBuilder {
  explicit SlowBuilder(BRep& model) : BRepBuilder{model} {}
  karvel::ModelCopyMapping copy_components(const BRep& source) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    finished_output = true;
    return BRepBuilder::copy_components(source);
  }
  karvel::ModelCopyMapping copy(const BRep& source) {
    if (fail_background) throw karvel::KarvelException{"background failure"};
    return BRepBuilder::copy(source);
  }
  void copy_relationships(const karvel::ModelCopyMapping& mapping, const BRep& source) {
    if (fail_output) throw karvel::KarvelException{"output failure"};
    BRepBuilder::copy_relationships(mapping, source);
  }
  static inline std::atomic<bool> finished_output{false};
  static inline bool fail_output{false};
  static inline bool fail_background{false};
};

TEST(ParallelRemeshingData, FailuresAfterBothJobsEndedBackgroundFirst) {
  const BRep input = fixtures::cube();
  struct Case {
    const char* name;
    bool output_fails, background_fails;
    const char* message;
  };
  for (const auto& c :
       {Case{"output fails", true, false, "output failure"},
        Case{"both fail", true, true, "background failure"},
        Case{"background fails at once", false, true, "background failure"}}) {
    SCOPED_TRACE(c.name);
    SlowBuilder::finished_output = false;
    SlowBuilder::fail_output = c.output_fails;
    SlowBuilder::fail_background = c.background_fails;
    BRep output;
    const Uniform metric{0.1};
    try {
      initialize_remeshing_data<SlowBuilder, hollent::BRepGeometricModifier, BRep, 3>(
          input, output, metric);
      FAIL() << "no exception";
    } catch (const std::exception& error) {
      EXPECT_STREQ(error.what(), c.message);
      EXPECT_TRUE(SlowBuilder::finished_output.load());
    }
  }
}

}  // namespace
}  // namespace vemra
