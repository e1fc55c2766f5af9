#pragma once

#include <vemra/remeshing/detail/background_data.h>
#include <vemra/remeshing/detail/splitter.h>

namespace vemra::detail {

template <typename Builder, typename Modifier, typename Model, index_t D>
karvel::ModelCopyMapping initialize_background_data(const Model& input, Model& background,
                                                    const Metric<D>& metric) {
  Builder builder{background};
  auto mapping = builder.copy(input);
  Splitter<Model, Modifier, D> splitter{background, metric};
  splitter.split();
  return mapping;
}

}  // namespace vemra::detail
