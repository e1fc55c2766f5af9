// refine(model, metric, options):
//   a Splitter on the model, followed:
//     filled:      time the fill; with origins, every triangle is its own origin; the
//                  progress callback (false: stop before any split)
//     split_done:  with origins, a triangle created by a split inherits the origin of the
//                  one it was cut from (the pair's lower index: created ones are
//                  appended); every 256 splits, the clock, and the progress callback
//                  when a tenth of a second has passed since the last (false: stop)
//     loop_done:   with origins, drop the triangles that the clean-up will remove
//   then the report, and progress once more at the end.

#include <vemra/refine.h>

#include <algorithm>
#include <chrono>

#include <vemra/remeshing/detail/splitter.h>
#include <vemra/remeshing/model_kind.h>

namespace vemra {
namespace {

using karvel::index_t;
using Clock = std::chrono::steady_clock;

template <typename Model>
std::size_t nb_triangles(const Model& model) {
  std::size_t count = 0;
  for (const auto& surface : model.surfaces()) count += surface.get_mesh().nb_polygons();
  return count;
}

template <typename Model>
class Following final
    : public detail::Splitter<Model, typename ModelKind<Model>::Modifier,
                              ModelKind<Model>::dimension>::Follower {
  static constexpr index_t D = ModelKind<Model>::dimension;
  using Splitter = detail::Splitter<Model, typename ModelKind<Model>::Modifier, D>;

 public:
  Following(const Model& model, const RefineOptions& options, RefineReport& report)
      : model_{model},
        options_{options},
        report_{report},
        start_{Clock::now()},
        phase_start_{start_},
        last_progress_{start_},
        unique_vertices_before_{model.nb_unique_vertices()} {
    report_.triangles_before = nb_triangles(model);
  }

  bool filled(std::size_t queued) override {
    report_.fill_seconds = lap();
    if (options_.record_origins) {
      report_.origins.reserve(model_.nb_surfaces());
      for (const auto& surface : model_.surfaces()) {
        auto& origins = report_.origins[surface.id()];
        origins.resize(surface.get_mesh().nb_polygons());
        for (index_t t = 0; t < origins.size(); ++t) origins[t] = t;
      }
    }
    // Once before the first split, so that a caller can stop a long run at once.
    return !options_.progress || report_progress(queued);
  }

  bool split_done(const typename Splitter::SplitResult& result,
                  std::size_t queued) override {
    if (options_.record_origins) inherit_origins(result);
    if (!options_.progress || ++splits_since_clock_ < 256) return true;
    splits_since_clock_ = 0;
    const auto now = Clock::now();
    if (now - last_progress_ < std::chrono::milliseconds(100)) return true;
    return report_progress(queued);
  }

  void loop_done() override {
    report_.split_seconds = lap();
    report_.splits = model_.nb_unique_vertices() - unique_vertices_before_;
    if (options_.record_origins) drop_collapsed_triangles();
  }

  void finish() {
    report_.clean_seconds = lap();
    report_.triangles_after = nb_triangles(model_);
    if (options_.progress) options_.progress(progress(0));
  }

 private:
  double lap() {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - phase_start_).count();
    phase_start_ = now;
    return seconds;
  }

  // Calls the progress callback; false when it asks to stop.
  bool report_progress(std::size_t queued) {
    last_progress_ = Clock::now();
    if (options_.progress(progress(queued))) return true;
    report_.stopped = true;
    return false;
  }

  RefineProgress progress(std::size_t queued) const {
    return {model_.nb_unique_vertices() - unique_vertices_before_, nb_triangles(model_),
            queued, std::chrono::duration<double>(Clock::now() - start_).count()};
  }

  void inherit_origins(const typename Splitter::SplitResult& result) {
    for (const auto& [id, splits] : result.surface_splits) {
      // Every surface was entered before the loop: the map does not move.
      if (!last_origins_ || last_surface_ != id) {
        last_surface_ = id;
        last_origins_ = &report_.origins.at(id);
      }
      auto& origins = *last_origins_;
      for (const auto& split : splits) {
        for (const auto* side : {&split.first, &split.second}) {
          for (const auto& [a, b] : side->polygons) {
            if (a >= b) continue;
            if (b >= origins.size()) {
              // Grown by half, as the meshes grow, not doubled.
              if (b >= origins.capacity()) {
                origins.reserve(std::max<std::size_t>(b + 1, origins.capacity() * 3 / 2));
              }
              origins.resize(b + 1);
            }
            origins[b] = origins[a];
          }
        }
      }
    }
  }

  // The clean-up removes the triangles that repeat a vertex and keeps the others in
  // order.
  void drop_collapsed_triangles() {
    for (const auto& surface : model_.surfaces()) {
      const auto* mesh =
          dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
      if (!mesh) continue;
      auto& origins = report_.origins.at(surface.id());
      index_t kept = 0;
      for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
        const auto v = mesh->triangle_vertices(t);
        if (v[0] != v[1] && v[1] != v[2] && v[2] != v[0]) origins[kept++] = origins[t];
      }
      origins.resize(kept);
    }
  }

  const Model& model_;
  const RefineOptions& options_;
  RefineReport& report_;
  const Clock::time_point start_;
  Clock::time_point phase_start_;
  Clock::time_point last_progress_;
  const index_t unique_vertices_before_;
  unsigned splits_since_clock_{0};
  karvel::uuid last_surface_;
  std::vector<index_t>* last_origins_{nullptr};
};

template <typename Model>
RefineReport refine_model(Model& model, const Metric<ModelKind<Model>::dimension>& metric,
                          const RefineOptions& options) {
  RefineReport report;
  Following<Model> following{model, options, report};
  detail::Splitter<Model, typename ModelKind<Model>::Modifier,
                   ModelKind<Model>::dimension>
      splitter{model, metric, options.order};
  // The Splitter ends here: what it would keep for another split() is of no use.
  splitter.drop_candidates_on_failure();
  splitter.split(following);
  following.finish();
  return report;
}

}  // namespace

RefineReport refine(karvel::BRep& model, const Metric<3>& metric,
                    const RefineOptions& options) {
  return refine_model(model, metric, options);
}

RefineReport refine(karvel::Section& model, const Metric<2>& metric,
                    const RefineOptions& options) {
  return refine_model(model, metric, options);
}

}  // namespace vemra
