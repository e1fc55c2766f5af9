#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/model/brep.h>
#include <karvel/model/section.h>
#include <vemra/remeshing/metric.h>
#include <vemra/remeshing/remeshing_data.h>

namespace vemra {

// Where a remeshing stands, for a progress callback.
struct RemeshProgress {
  std::size_t surfaces_done{0};
  std::size_t surfaces{0};
  double seconds{0.0};  // since remesh() was called
};

struct RemeshOptions {
  // Rounds of split, collapse, flip and smoothing on each surface.
  int iterations{5};
  // Degrees: an edge inside a surface whose two triangles meet at a sharper angle (the
  // angle between their normals above this) is a crease that the new mesh follows.
  double feature_angle{40.0};
  // Called on the calling thread as surfaces are done; returning false stops: remesh()
  // then throws RemeshStopped and the output holds no meshes.
  std::function<bool(const RemeshProgress&)> progress;
  // Records, for every output triangle, the input triangle nearest to its centroid (see
  // RemeshReport::origins), for carrying per-face attributes over.
  bool record_origins{false};
};

struct RemeshReport {
  std::size_t triangles_before{0};
  std::size_t triangles_after{0};
  std::size_t line_vertices_kept{0};  // input line vertices a surface could not drop
  double line_seconds{0.0};
  double surface_seconds{0.0};
  double output_seconds{0.0};
  // With record_origins: for each output surface (origins.at(surface.id())), one entry
  // per triangle, the triangle of the input surface's mesh nearest to its centroid.
  absl::flat_hash_map<karvel::uuid, std::vector<karvel::index_t>> origins;
};

// The progress callback asked to stop.
class RemeshStopped : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills `output` with a conforming model of the input's components and relationships
// whose meshes follow the metric: edges about the size at their midpoint, triangles
// close to equilateral. Corners stay; every line is resampled to the metric, its new
// vertices on the input line and shared by every surface it bounds; then every surface is
// remeshed with its border fixed to its lines (surfaces in parallel: the result is the
// same on any number of threads), its vertices on the input surface, its creases
// followed. `output` must be empty; the overload that takes RemeshingData uses the
// output model that initialize_remeshing_data() filled with the components and their
// relationships.
// Throws, before anything is changed, std::invalid_argument for a feature angle outside
// (0, 180) or negative iterations, and karvel::KarvelException for an input whose
// surfaces are not triangulated; then karvel::KarvelException for lines that are not
// simple curves, std::domain_error for a size that is not positive and finite where it
// is evaluated, RemeshStopped, and what the metric throws.
RemeshReport remesh(const karvel::BRep& input, karvel::BRep& output,
                    const Metric<3>& metric, const RemeshOptions& options = {});
RemeshReport remesh(const karvel::Section& input, karvel::Section& output,
                    const Metric<2>& metric, const RemeshOptions& options = {});
RemeshReport remesh(RemeshingData<karvel::BRep, 3>& data,
                    const RemeshOptions& options = {});
RemeshReport remesh(RemeshingData<karvel::Section, 2>& data,
                    const RemeshOptions& options = {});

}  // namespace vemra
