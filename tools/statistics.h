#pragma once

#include <utility>

#include <vemra/remeshing/metric.h>

namespace vemra::tool {

struct MeshFigures {
  index_t surfaces;
  index_t lines;
  index_t triangles;
  index_t model_vertices;
  double min_angle;  // degrees, over every triangle; 180 when there is none
};

template <typename Model>
MeshFigures measure(const Model& model);

// The figures of a refined model and, in the same pass, the largest ratio over every
// triangle of its longest edge to twice the size at that edge's midpoint: at most 1 once
// the refinement has done its job. Evaluated in parallel.
template <typename Model, index_t D>
std::pair<MeshFigures, double> measure_refined(const Model& model,
                                               const Metric<D>& metric);

// How a mesh will be made: by refining (edges end between h and 2h, about 1.4 h; no
// triangle goes) or by remeshing (edges about h, finer or coarser than the input).
enum class Meshing { refine, remesh };

// A rough count of the triangles that meshing `model` to `metric` will give, from each
// triangle's area and the size at its centroid.
template <typename Model, index_t D>
double estimate_triangles(const Model& model, const Metric<D>& metric, Meshing meshing);

// What fits in half of this machine's memory at the peak bytes per output triangle of a
// refinement (the model, the queue, the writers' numbering): a default limit.
double default_max_triangles();

// The smallest, the 1 % quantile and the median of some values.
struct Spread {
  double smallest;
  double q01;
  double median;
};
// Every corner's angle (degrees), and every edge's length over the size at its midpoint.
struct Shape {
  Spread angles;
  Spread lengths;
};
template <typename Model, index_t D>
Shape shape(const Model& model, const Metric<D>& metric);

}  // namespace vemra::tool
