// Refines a one-triangle section through the installed library and checks the result.

#include <cstdio>

#include <hollent/hollent.h>
#include <karvel/karvel.h>
#include <vemra/remeshing/remeshing_data.h>

namespace {

class Uniform : public vemra::Metric<2> {
 public:
  double point_metric(const karvel::Point<2>&) const override { return 0.1; }
};

}  // namespace

int main() {
  const std::vector<karvel::Point<2>> points{
      karvel::Point<2>{{0, 0}}, karvel::Point<2>{{1, 0}}, karvel::Point<2>{{0, 1}}};
  const std::vector<std::array<karvel::index_t, 3>> triangles{{0, 1, 2}};
  const std::vector<karvel::index_t> patches{0};
  const auto input = karvel::section_from_patches(points, triangles, patches);
  karvel::Section output;
  const Uniform metric;
  const auto data = vemra::initialize_remeshing_data<
      karvel::SectionBuilder, hollent::SectionGeometricModifier, karvel::Section, 2>(
      input, output, metric);
  const auto triangles_after =
      (*data.background.surfaces().begin()).get_mesh().nb_polygons();
  const bool ok = karvel::check_model(data.background).ok() && triangles_after > 1;
  std::printf("installed library: %u triangles after refinement, %s\n", triangles_after,
              ok ? "valid" : "INVALID");
  return ok ? 0 : 1;
}
