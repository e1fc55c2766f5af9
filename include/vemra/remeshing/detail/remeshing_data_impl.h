#pragma once

// Two jobs at once: the output copy on a pool worker, the background on this thread.
// Each job's exception is kept; after both ended, the background's wins.

#include <exception>

#include <tbb/task_group.h>

#include <vemra/remeshing/detail/background_data_impl.h>
#include <vemra/remeshing/remeshing_data.h>

namespace vemra {

template <typename Builder, typename Modifier, typename Model, index_t D>
RemeshingData<Model, D> initialize_remeshing_data(const Model& input, Model& output,
                                                  const Metric<D>& metric) {
  RemeshingData<Model, D> result{input, output, metric};
  std::exception_ptr output_error;
  std::exception_ptr background_error;
  tbb::task_group output_job;
  output_job.run([&result, &output_error] {
    try {
      Builder builder{result.output};
      result.output_mapping = builder.copy_components(result.input);
      builder.copy_relationships(result.output_mapping, result.input);
    } catch (...) {
      output_error = std::current_exception();
    }
  });
  try {
    result.background_mapping =
        detail::initialize_background_data<Builder, Modifier, Model, D>(
            result.input, result.background, result.metric);
  } catch (...) {
    background_error = std::current_exception();
  }
  output_job.wait();
  if (background_error) std::rethrow_exception(background_error);
  if (output_error) std::rethrow_exception(output_error);
  return result;
}

}  // namespace vemra
