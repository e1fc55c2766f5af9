#pragma once

#include <hollent/geometric_modifier.h>
#include <karvel/model/model_builder.h>
#include <vemra/remeshing/metric.h>

namespace vemra::detail {

// Copies `input` into `background` with the builder's copy(), refines the copy's
// triangulated surfaces to `metric` with a Splitter, and returns the mapping from the
// input's components to the background's. The input is only read.
// Throws what the copy, the refinement or the modifier throw; `background` then keeps
// what was done before the failure.
template <typename Builder, typename Modifier, typename Model, index_t D>
karvel::ModelCopyMapping initialize_background_data(const Model& input, Model& background,
                                                    const Metric<D>& metric);

extern template karvel::ModelCopyMapping initialize_background_data<
    karvel::BRepBuilder, hollent::BRepGeometricModifier, karvel::BRep, 3>(
    const karvel::BRep&, karvel::BRep&, const Metric<3>&);
extern template karvel::ModelCopyMapping initialize_background_data<
    karvel::SectionBuilder, hollent::SectionGeometricModifier, karvel::Section, 2>(
    const karvel::Section&, karvel::Section&, const Metric<2>&);

}  // namespace vemra::detail
