#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/basic/uuid.h>
#include <karvel/model/brep.h>
#include <karvel/model/section.h>
#include <vemra/remeshing/metric.h>
#include <vemra/split_order.h>

namespace vemra {

// Where a refinement stands, for a progress callback.
struct RefineProgress {
  std::size_t splits{0};     // edges split so far (each made one model vertex)
  std::size_t triangles{0};  // triangles of the model now
  std::size_t queued{0};     // candidates waiting, some of them stale
  double seconds{0.0};       // since refine() was called
};

struct RefineOptions {
  // Banded: about twice as fast, with the same guarantees; exact: the reference order,
  // the same model as detail::Splitter gives.
  SplitOrder order{SplitOrder::banded};
  // Called on the calling thread once the candidates are found, then during the split
  // loop at most about ten times a second, and once at the end. Returning false stops the
  // refinement before the next split: the clean-ups still run, the model is valid and
  // conforming, and the report says `stopped`; refine() again goes on from there. Its
  // exceptions pass through.
  std::function<bool(const RefineProgress&)> progress;
  // Records, for every output triangle, the input triangle that it lies in (see
  // RefineReport::origins). Costs 4 bytes per output triangle.
  bool record_origins{false};
};

struct RefineReport {
  std::size_t splits{0};
  std::size_t triangles_before{0};
  std::size_t triangles_after{0};
  bool stopped{false};  // by the progress callback
  double fill_seconds{0.0};
  double split_seconds{0.0};
  double clean_seconds{0.0};
  // With record_origins: for each surface (origins.at(surface.id())), one entry per
  // triangle of its refined mesh, the index of the triangle of the input mesh that it
  // lies in. Empty otherwise.
  absl::flat_hash_map<karvel::uuid, std::vector<karvel::index_t>> origins;
};

// Refines every triangulated surface of `model` in place until each triangle's longest
// edge is at most twice the metric at its midpoint, conformingly across the lines where
// surfaces meet, then cleans the model. The result is the same, bit for bit, on any
// number of threads and from run to run; in the exact order it is detail::Splitter's.
// Every angle stays at least half the smallest angle of the input. Surfaces that are not
// triangulated are left as they are.
// Throws what the metric or the model throw (of a failure in the parallel fill, the
// first in surface order, before any split), std::domain_error where the metric gives
// a size of zero or less at a triangle it would split, and what `progress` throws; after
// a failure the model keeps the splits made so far and is not cleaned.
// NOTE: the metric is called from several threads at once; the model must not be used
// from another thread while this runs.
RefineReport refine(karvel::BRep& model, const Metric<3>& metric,
                    const RefineOptions& options = {});
RefineReport refine(karvel::Section& model, const Metric<2>& metric,
                    const RefineOptions& options = {});

}  // namespace vemra
