#pragma once

#include <hollent/geometric_modifier.h>
#include <karvel/model/model_builder.h>
#include <vemra/remeshing/metric.h>

namespace vemra {

// What a remesher needs: the input, a refined full copy of it (the background), the
// caller's output model holding a copy of the input's components and relationships, both
// copy mappings, and the metric. Keep the input, the output and the metric alive while
// using it.
template <typename Model, index_t D>
struct RemeshingData {
  RemeshingData(const Model& input_model, Model& output_model,
                const Metric<D>& size_field)
      : input{input_model}, output{output_model}, metric{size_field} {}

  const Model& input;
  Model background;
  karvel::ModelCopyMapping background_mapping;
  Model& output;
  karvel::ModelCopyMapping output_mapping;
  const Metric<D>& metric;
};

// Builds the output copy (components, then relationships through the returned mapping)
// on a worker thread while the calling thread builds and refines the background.
// Returns only once both jobs ended. Throws the background job's exception if it failed,
// otherwise the output job's; the output model then keeps what was added to it.
template <typename Builder, typename Modifier, typename Model, index_t D>
RemeshingData<Model, D> initialize_remeshing_data(const Model& input, Model& output,
                                                  const Metric<D>& metric);

extern template RemeshingData<karvel::BRep, 3> initialize_remeshing_data<
    karvel::BRepBuilder, hollent::BRepGeometricModifier, karvel::BRep, 3>(
    const karvel::BRep&, karvel::BRep&, const Metric<3>&);
extern template RemeshingData<karvel::Section, 2> initialize_remeshing_data<
    karvel::SectionBuilder, hollent::SectionGeometricModifier, karvel::Section, 2>(
    const karvel::Section&, karvel::Section&, const Metric<2>&);

// The same, with the builder and the modifier that go with the model.
RemeshingData<karvel::BRep, 3> initialize_remeshing_data(const karvel::BRep& input,
                                                         karvel::BRep& output,
                                                         const Metric<3>& metric);
RemeshingData<karvel::Section, 2> initialize_remeshing_data(const karvel::Section& input,
                                                            karvel::Section& output,
                                                            const Metric<2>& metric);

}  // namespace vemra
