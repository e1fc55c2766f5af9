#include <vemra/remeshing/detail/remeshing_data_impl.h>
#include <vemra/remeshing/model_kind.h>

namespace vemra {

template RemeshingData<karvel::BRep, 3> initialize_remeshing_data<
    karvel::BRepBuilder, hollent::BRepGeometricModifier, karvel::BRep, 3>(
    const karvel::BRep&, karvel::BRep&, const Metric<3>&);
template RemeshingData<karvel::Section, 2> initialize_remeshing_data<
    karvel::SectionBuilder, hollent::SectionGeometricModifier, karvel::Section, 2>(
    const karvel::Section&, karvel::Section&, const Metric<2>&);

namespace {

template <typename Model, index_t D>
RemeshingData<Model, D> remeshing_data_of_kind(const Model& input, Model& output,
                                               const Metric<D>& metric) {
  using Kind = ModelKind<Model>;
  return initialize_remeshing_data<typename Kind::Builder, typename Kind::Modifier, Model,
                                   D>(input, output, metric);
}

}  // namespace

RemeshingData<karvel::BRep, 3> initialize_remeshing_data(const karvel::BRep& input,
                                                         karvel::BRep& output,
                                                         const Metric<3>& metric) {
  return remeshing_data_of_kind(input, output, metric);
}

RemeshingData<karvel::Section, 2> initialize_remeshing_data(const karvel::Section& input,
                                                            karvel::Section& output,
                                                            const Metric<2>& metric) {
  return remeshing_data_of_kind(input, output, metric);
}

}  // namespace vemra
