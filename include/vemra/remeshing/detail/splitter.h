#pragma once

#include <cstddef>
#include <utility>

#include <absl/synchronization/mutex.h>

#include <hollent/geometric_modifier.h>
#include <karvel/mesh/triangulated_surface.h>
#include <vemra/remeshing/detail/banded_queue.h>
#include <vemra/remeshing/detail/candidate_store.h>
#include <vemra/remeshing/detail/split_queue.h>
#include <vemra/remeshing/metric.h>
#include <vemra/split_order.h>

namespace vemra::detail {

using karvel::local_index_t;
using karvel::PolygonEdge;
using karvel::TriangulatedSurface;
using karvel::uuid;

template <typename Splitter>
struct SplitterAccess;

// Refines the triangulated surfaces of a model by longest-edge splitting until every
// triangle's longest edge is at most twice the metric at its midpoint, then has the
// modifier clean the model. The model and the metric must outlive the Splitter.
template <typename Model, typename Modifier, index_t D>
class Splitter {
 public:
  // A triangle too large for the metric: its longest edge (lowest local index on a tie),
  // that edge's length and midpoint. A queued record is never updated: it describes the
  // triangle as it was when measured.
  struct TriangleToSplit {
    // Validates nothing; only the mesh's own calls may fail.
    TriangleToSplit(const uuid& surface, const TriangulatedSurface<D>& mesh,
                    index_t triangle);
    // A candidate as it was measured.
    TriangleToSplit(const uuid& surface, const PolygonEdge& longest_edge,
                    double edge_length, const Point<D>& midpoint)
        : surface_id{surface}, edge{longest_edge}, length{edge_length}, point{midpoint} {}

    uuid surface_id;
    PolygonEdge edge;
    double length{0.0};
    Point<D> point;
  };

  // What one split_edge() returns.
  using SplitResult = decltype(std::declval<Modifier&>().split_edge(
      std::declval<const karvel::Surface<D>&>(), std::declval<const PolygonEdge&>(),
      std::declval<const Point<D>&>()));

  // Follows a refinement from the thread that runs split(Follower&): refine() counts,
  // reports progress and records triangle origins through it.
  class Follower {
   public:
    virtual ~Follower() = default;
    // The queue is filled; `queued` candidates wait. Returning false drops them: no split
    // is made and the clean-ups run.
    virtual bool filled(std::size_t queued) = 0;
    // After each split, with what it changed. Returning false ends the loop: the
    // candidates left are dropped and the clean-ups run.
    virtual bool split_done(const SplitResult& result, std::size_t queued) = 0;
    // The loop has ended; the clean-ups come next.
    virtual void loop_done() = 0;
  };

  // Reads nothing of the model: constructs the modifier on it and starts with an empty
  // queue.
  Splitter(Model& model, const Metric<D>& metric);
  // The same, splitting in `order` (the other constructor splits in the exact order).
  Splitter(Model& model, const Metric<D>& metric, SplitOrder order);
  ~Splitter();
  Splitter(const Splitter&) = delete;
  Splitter& operator=(const Splitter&) = delete;

  // Fills the queue from every triangle of every surface (in parallel), splits the
  // longest candidate edge at its midpoint until no candidate is left, then runs
  // clean_edges_lines() and clean_triangles_surfaces() once each.
  // The candidates enter the queue in a fixed order (surfaces in the model's order, then
  // triangles in index order), so the result is the same on any number of threads.
  // Throws what the metric, the model or the modifier throw. A failure inside the
  // parallel fill ends the fill and is rethrown once every task ended (of several, the
  // first in surface and triangle order); the split loop and the clean-ups then do not
  // run. A surface whose mesh is not triangulated is skipped.
  // NOTE: the caller must not use the model from another thread while this runs.
  // REQUIRES: the modifier's split_edge never moves an existing vertex.
  void split();
  // The same refinement, followed by `follower`, which may end the loop early.
  void split(Follower& follower);
  // After a failure, drop the candidates left instead of keeping them for another
  // split(): for a caller that will not call it again (making millions of records whole
  // would hold its exception up for seconds).
  void drop_candidates_on_failure() { keep_candidates_on_failure_ = false; }

 private:
  template <typename>
  friend struct SplitterAccess;

  // Queues the candidate when its length exceeds twice the metric at its point (the
  // metric evaluated once, outside the lock). Thread-safe.
  // Throws std::domain_error when it would accept a candidate because the metric there is
  // zero or negative: refinement would never end.
  void add_to_queue(TriangleToSplit candidate);
  // The same for a candidate just built from the mesh of the store's surface `surface`
  // (or CandidateStore::no_surface), which lets the queue keep it compact.
  void add_to_queue(const TriangleToSplit& candidate, std::uint32_t surface);
  // The same from the split loop, where nothing else pushes: the banded order takes no
  // lock there.
  void add_from_loop(const TriangleToSplit& candidate, std::uint32_t surface);
  // Tests the candidate and queues it, under mutex_ when `lock`.
  void offer(const TriangleToSplit& candidate, std::uint32_t surface, bool lock);
  // True when the candidate passes the metric test. Throws std::domain_error where the
  // metric would accept it with a size of zero or less.
  bool accepts(const TriangleToSplit& candidate) const;
  void initialize_queue();
  // Copies and removes the queue's top record. REQUIRES: the queue is not empty.
  TriangleToSplit pop_longest();
  // The same in either order; false for a record skipped as stale (in the banded order,
  // one whose edge no longer joins the vertices it was measured on).
  bool pop_next(TriangleToSplit& record);
  // Room for one more record in the queue of the order: the queue is unchanged when it
  // fails. Then push_reserved() cannot fail. Under mutex_, or where nothing else pushes.
  void reserve_one();
  // REQUIRES: reserve_one() since the last push; length > 0.
  void push_reserved(double length,
                     const typename CandidateStore<TriangleToSplit, D>::Compact& compact);
  std::size_t queued() const;
  template <typename Visit>
  void for_each_queued(Visit visit);
  void split_surface();
  void split_surface(Follower* follower);
  // Drops every queued candidate.
  void discard_queue();

  Model& model_;
  Modifier modifier_;
  const Metric<D>& metric_;
  // The queued candidates, 16 bytes each while the refinement runs.
  using Candidates = CandidateStore<TriangleToSplit, D>;
  Candidates candidates_;
  // Longest first; see SplitQueue for how it keeps the standard heap's order.
  SplitQueue<typename Candidates::Compact> queue_;
  // The banded order's queue, in its place.
  BandedQueue<typename Candidates::Compact> bands_;
  SplitOrder order_{SplitOrder::exact};
  bool keep_candidates_on_failure_{true};
  absl::Mutex mutex_;
};

extern template class Splitter<karvel::BRep, hollent::BRepGeometricModifier, 3>;
extern template class Splitter<karvel::Section, hollent::SectionGeometricModifier, 2>;

}  // namespace vemra::detail
