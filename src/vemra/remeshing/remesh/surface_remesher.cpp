#include "surface_remesher.h"

#include "line_resampling.h"
#include "parallel_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>
#include <karvel/basic/trivial_vector.h>

namespace vemra::remesher {
namespace {

using karvel::NO_ID;

enum class VertexKind : std::uint8_t {
  free,       // moves on the surface, may be collapsed anywhere
  crease,     // on a crease: collapsed only along it, never smoothed
  removable,  // an input line vertex the line drops: collapsed along the line
  fixed,      // stays: line vertices, corners, crease ends
  dead
};
enum class EdgeKind : std::uint8_t { line, crease };
struct EdgeInfo {
  EdgeKind kind;
  index_t line;
};

constexpr double short_ratio = 4.0 / 5.0;
// The first round splits less: bisection leaves edges of 1/2 to 1 times the threshold, so
// splitting at long_ratio from a coarse input gives edges a tenth or two too short, and a
// fifth or more too many triangles, which collapses then refuse to merge (they would make
// long edges). The later rounds split at long_ratio.
constexpr double first_split_ratio = 1.5;

class WorkingMesh {
 public:
  WorkingMesh(const SurfaceInput& input, const SurfaceSettings& settings)
      : settings_{settings},
        input_vertices_{static_cast<index_t>(input.points.size())},
        kind_(input.points.size(), VertexKind::free),
        ties_(input.points.size(), Tie{}),
        guess_(input.points.size(), NO_ID),
        around_(input.points.size()) {
    points_.resize_for_overwrite(input.points.size());
    std::copy(input.points.begin(), input.points.end(), points_.begin());
    for (const auto& triangle : input.triangles) add_triangle(triangle);
    // The border never changes: its vertices are on lines, which stay where they are.
    // Each vertex starts its projections from a triangle of its own.
    border_.assign(points_.size(), false);
    for (index_t t = 0; t < input.triangles.size(); ++t) {
      for (int e = 0; e < 3; ++e) {
        const auto& v = input.triangles[t];
        if (input.beside[t][e] == NO_ID) border_[v[e]] = border_[v[(e + 1) % 3]] = true;
        guess_[v[e]] = t;
      }
    }
    for (const auto& [vertex, tie] : input.line_vertices) {
      ties_[vertex] = tie;
      kind_[vertex] =
          tie.kind == Tie::line_point ? VertexKind::fixed : VertexKind::removable;
    }
    for (const auto& edge : input.line_edges) {
      edge_info_[edge_key(edge.from, edge.to)] = {EdgeKind::line, edge.line};
    }
    find_creases();
    // A line vertex held this way must stay on its line too: its tie says so.
    for (const index_t v : input.fixed_vertices) kind_[v] = VertexKind::fixed;
    // The line's new vertices inside input edges, each splitting what is left of its
    // edge; flips then turn around the slivers they fan out to.
    bool inserted = false;
    for (const auto& edge : input.line_edges) {
      index_t from = edge.from;
      for (const auto& [t, tie] : edge.points) {
        const Vec3 p = points_[edge.from] + (points_[edge.to] - points_[edge.from]) * t;
        from = split(from, edge.to, p, &tie);
        inserted = true;
      }
    }
    if (inserted) flip_for_angles();
  }

  void run() {
    for (int round = 0; round < settings_.iterations; ++round) {
      split_long_edges(round == 0 ? first_split_ratio : long_ratio);
      // Only where nothing comes out too long or too thin: dropped all at once, the line
      // vertices the line does not keep would leave slivers along a coarse border.
      drop_removable_vertices(false);
      collapse_short_edges();
      flip_for_valence();
      smooth();
    }
    drop_removable_vertices(true);
    split_long_edges(long_ratio);
    split_remaining_line_edges();
    // The splits of what the forced drops and the last smoothing left long can land a hair
    // from a vertex, or leave a short edge where a fan's centre thinned out last.
    collapse_short_edges();
    flip_for_angles();
  }

  SurfaceOutput output() const {
    SurfaceOutput out;
    std::vector<index_t> number(points_.size(), NO_ID);
    for (index_t v = 0; v < points_.size(); ++v) {
      if (kind_[v] == VertexKind::dead || around_[v].empty()) continue;
      number[v] = static_cast<index_t>(out.points.size());
      out.points.push_back(points_[v]);
      out.ties.push_back(ties_[v]);
      out.input_vertices.push_back(v < input_vertices_ ? v : NO_ID);
    }
    for (const auto& t : triangles_) {
      if (t[0] == NO_ID) continue;
      out.triangles.push_back({number[t[0]], number[t[1]], number[t[2]]});
    }
    return out;
  }

 private:
  // Topology.
  void add_triangle(const std::array<index_t, 3>& t) {
    const index_t index = static_cast<index_t>(triangles_.size());
    triangles_.push_back(t);
    for (const index_t v : t) around_[v].push_back(index);
  }
  void forget(index_t vertex, index_t triangle) {
    auto& list = around_[vertex];
    list.erase(std::find(list.begin(), list.end(), triangle));
  }
  static bool holds(const std::array<index_t, 3>& t, index_t v) {
    return t[0] == v || t[1] == v || t[2] == v;
  }
  absl::InlinedVector<index_t, 2> edge_triangles(index_t a, index_t b) const {
    absl::InlinedVector<index_t, 2> found;
    for (const index_t t : around_[a]) {
      if (holds(triangles_[t], b)) found.push_back(t);
    }
    return found;
  }
  static index_t third(const std::array<index_t, 3>& t, index_t a, index_t b) {
    for (const index_t v : t) {
      if (v != a && v != b) return v;
    }
    return NO_ID;
  }
  absl::InlinedVector<index_t, 12> neighbours(index_t v) const {
    absl::InlinedVector<index_t, 12> result;
    for (const index_t t : around_[v]) {
      for (const index_t w : triangles_[t]) {
        if (w != v && std::find(result.begin(), result.end(), w) == result.end()) {
          result.push_back(w);
        }
      }
    }
    std::sort(result.begin(), result.end());
    return result;
  }
  // An edge of one triangle: only border vertices can have one.
  bool on_border_edge(index_t a, index_t b) const {
    return border_[a] && border_[b] && edge_triangles(a, b).size() == 1;
  }
  // Whether a and b are joined by an edge.
  bool joined(index_t a, index_t b) const {
    for (const index_t t : around_[a]) {
      if (holds(triangles_[t], b)) return true;
    }
    return false;
  }
  // A vertex's number of neighbours: one more than its triangles on the border, where its
  // fan does not close.
  std::size_t valence(index_t v) const {
    return around_[v].size() + (border_[v] ? 1 : 0);
  }
  // Both ends of a line or crease edge are line or crease vertices: an edge with a free
  // end needs no lookup.
  const EdgeInfo* edge_info(index_t a, index_t b) const {
    if (kind_[a] == VertexKind::free || kind_[b] == VertexKind::free) return nullptr;
    const auto found = edge_info_.find(edge_key(a, b));
    return found == edge_info_.end() ? nullptr : &found->second;
  }
  bool is_line_edge(index_t a, index_t b) const {
    const EdgeInfo* info = edge_info(a, b);
    return info && info->kind == EdgeKind::line;
  }
  Vec3 triangle_normal(const std::array<index_t, 3>& t) const {
    return normal(points_[t[0]], points_[t[1]], points_[t[2]]);
  }
  double edge_ratio(index_t a, index_t b) const {
    return remesher::edge_ratio(points_[a], points_[b], settings_.size);
  }

  void find_creases() {
    if (!settings_.surface) return;  // a section is flat
    const double limit = std::cos(settings_.feature_angle * M_PI / 180);
    absl::flat_hash_map<index_t, index_t> crease_degree;
    for (index_t t = 0; t < triangles_.size(); ++t) {
      for (int e = 0; e < 3; ++e) {
        const index_t a = triangles_[t][e], b = triangles_[t][(e + 1) % 3];
        if (a > b || edge_info(a, b)) continue;
        const auto pair = edge_triangles(a, b);
        if (pair.size() != 2) continue;
        const Vec3 n0 = triangle_normal(triangles_[pair[0]]);
        const Vec3 n1 = triangle_normal(triangles_[pair[1]]);
        const double lengths = norm(n0) * norm(n1);
        if (lengths > 0 && dot(n0, n1) < limit * lengths) {
          edge_info_[edge_key(a, b)] = {EdgeKind::crease, NO_ID};
          ++crease_degree[a];
          ++crease_degree[b];
        }
      }
    }
    for (const auto& [v, degree] : crease_degree) {
      if (kind_[v] == VertexKind::free) {
        kind_[v] = degree == 2 ? VertexKind::crease : VertexKind::fixed;
      } else if (kind_[v] == VertexKind::removable) {
        // A crease that meets a line ends at a vertex the line must keep.
        kind_[v] = VertexKind::fixed;
      }
    }
  }

  // Splits edge (a, b) at p; returns the new vertex, which takes the edge's kind. On a
  // line, it is `line_point`, or the line's midpoint there.
  index_t split(index_t a, index_t b, const Vec3& p, const Tie* line_point = nullptr) {
    const index_t m = static_cast<index_t>(points_.size());
    points_.push_back(p);
    ties_.push_back({});
    // The projection starts from where an end of the edge was projected.
    guess_.push_back(guess_[a] != NO_ID ? guess_[a] : guess_[b]);
    around_.emplace_back();
    border_.push_back(edge_triangles(a, b).size() == 1);
    if (const EdgeInfo* constrained = edge_info(a, b)) {
      const EdgeInfo info = *constrained;
      edge_info_.erase(edge_key(a, b));
      edge_info_[edge_key(a, m)] = info;
      edge_info_[edge_key(m, b)] = info;
      if (info.kind == EdgeKind::crease) {
        kind_.push_back(VertexKind::crease);
      } else {
        kind_.push_back(VertexKind::fixed);
        if (line_point) {
          ties_.back() = *line_point;
        } else {
          // The line made the same midpoint: the two are one vertex.
          const index_t point = settings_.line_midpoint(info.line, p);
          if (point == NO_ID)
            throw std::logic_error{"remesh: a surface split a line apart"};
          ties_.back() = {Tie::line_point, info.line, point};
        }
      }
    } else {
      kind_.push_back(VertexKind::free);
    }
    for (const index_t t : edge_triangles(a, b)) {
      auto& triangle = triangles_[t];
      // Rotate so that the triangle reads (x, y, z) with {x, y} = {a, b}.
      int i = 0;
      while (!((triangle[i] == a && triangle[(i + 1) % 3] == b) ||
               (triangle[i] == b && triangle[(i + 1) % 3] == a))) {
        ++i;
      }
      const index_t x = triangle[i], y = triangle[(i + 1) % 3], z = triangle[(i + 2) % 3];
      triangle = {x, m, z};
      around_[m].push_back(t);
      forget(y, t);
      add_triangle({m, y, z});
    }
    return m;
  }

  // Moves v onto u and removes the triangles they shared.
  void collapse(index_t v, index_t u) { collapse(v, u, points_[u], guess_[u]); }
  // The same, u then standing at p, on input triangle `guess`.
  void collapse(index_t v, index_t u, const Vec3& p, index_t guess) {
    points_[u] = p;
    guess_[u] = guess;
    const auto neighbours_of_v = neighbours(v);
    for (const index_t t : edge_triangles(v, u)) {
      for (const index_t w : triangles_[t]) forget(w, t);
      triangles_[t] = {NO_ID, NO_ID, NO_ID};
    }
    for (const index_t t : around_[v]) {
      for (auto& w : triangles_[t]) {
        if (w == v) w = u;
      }
      around_[u].push_back(t);
    }
    // Constrained edges at v move to u.
    for (const index_t w : neighbours_of_v) {
      const auto found = edge_info_.find(edge_key(v, w));
      if (found == edge_info_.end()) continue;
      const EdgeInfo info = found->second;
      edge_info_.erase(found);
      if (w != u) edge_info_.emplace(edge_key(u, w), info);
    }
    around_[v].clear();
    kind_[v] = VertexKind::dead;
  }

  bool can_collapse(index_t v, index_t u, bool forced) {
    return can_collapse(v, u, forced, points_[u]);
  }
  // Whether v can be merged into u, which then stands at p.
  bool can_collapse(index_t v, index_t u, bool forced, const Vec3& p) {
    const VertexKind kind = kind_[v];
    if (kind == VertexKind::fixed || kind == VertexKind::dead) return false;
    const EdgeInfo* along = edge_info(v, u);
    if (kind == VertexKind::free && along) return false;
    if (kind == VertexKind::crease && (!along || along->kind != EdgeKind::crease)) {
      return false;
    }
    if (kind == VertexKind::removable && (!along || along->kind != EdgeKind::line)) {
      return false;
    }
    const auto shared = edge_triangles(v, u);
    if (shared.empty()) return false;
    // No long edge: the test that refuses most, first.
    if (!forced) {
      for (const index_t center : {v, u}) {
        for (const index_t t : around_[center]) {
          const auto& triangle = triangles_[t];
          if (holds(triangle, u) && holds(triangle, v)) continue;
          for (const index_t w : triangle) {
            if (w != u && w != v &&
                remesher::edge_ratio(p, points_[w], settings_.size) > long_ratio) {
              return false;
            }
          }
        }
      }
    }
    // Link condition: the only common neighbours are the shared triangles' third
    // vertices.
    const auto around_u = neighbours(u);
    index_t common = 0;
    for (const index_t w : neighbours(v)) {
      if (std::binary_search(around_u.begin(), around_u.end(), w)) ++common;
    }
    if (common != shared.size()) return false;
    // Every triangle left around v or u, with v merged into u at p: no fold, no sliver
    // (none thinner than the thinnest there was: a fan of slivers must still coarsen).
    const auto at = [&](index_t w) -> const Vec3& { return w == u ? p : points_[w]; };
    double thinnest_before = -1;
    const auto thinner_than_before = [&](double angle) {
      if (thinnest_before < 0) {
        thinnest_before = M_PI;
        for (const index_t center : {v, u}) {
          for (const index_t t : around_[center]) {
            const auto& triangle = triangles_[t];
            thinnest_before =
                std::min(thinnest_before,
                         smallest_angle(points_[triangle[0]], points_[triangle[1]],
                                        points_[triangle[2]]));
          }
        }
      }
      return angle < thinnest_before;
    };
    for (const index_t center : {v, u}) {
      for (const index_t t : around_[center]) {
        const auto& triangle = triangles_[t];
        if (holds(triangle, u) && holds(triangle, v)) continue;
        std::array<index_t, 3> moved = triangle;
        for (auto& w : moved) {
          if (w == v) w = u;
        }
        const Vec3 before = triangle_normal(triangle);
        const Vec3 after = normal(at(moved[0]), at(moved[1]), at(moved[2]));
        const double lengths = norm(before) * norm(after);
        if (!(lengths > 0) || dot(before, after) < 0.3 * lengths) return false;
        if (forced) continue;
        const double angle = smallest_angle(at(moved[0]), at(moved[1]), at(moved[2]));
        if (angle < 5 * M_PI / 180 && thinner_than_before(angle)) return false;
      }
    }
    // No triangle may come out twice.
    for (const index_t t : around_[v]) {
      if (holds(triangles_[t], u)) continue;
      const auto& triangle = triangles_[t];
      for (const index_t s : around_[u]) {
        const auto& other = triangles_[s];
        bool same = true;
        for (const index_t w : triangle) {
          if (w != v && !holds(other, w)) same = false;
        }
        if (same) return false;
      }
    }
    return true;
  }

  // A line edge is bisected where its line was: the line has its midpoint.
  bool line_splits(index_t a, index_t b) const {
    const EdgeInfo* info = edge_info(a, b);
    return info && info->kind == EdgeKind::line &&
           settings_.line_midpoint(info->line, midpoint(points_[a], points_[b])) != NO_ID;
  }
  // The edge of the triangle that a split would take: its longest edge, leaving out line
  // edges that their line does not split, or -1.
  int longest_splittable(const std::array<index_t, 3>& t) const {
    int longest = -1;
    double length = 0;
    std::uint64_t key = 0;
    for (int e = 0; e < 3; ++e) {
      const index_t a = t[e], b = t[(e + 1) % 3];
      if (is_line_edge(a, b) && !line_splits(a, b)) continue;
      const double l = distance(points_[a], points_[b]);
      // Equal lengths go to the lower pair of vertices, the same from either triangle:
      // the longest edge of the whole mesh is then the longest of both its triangles.
      if (longest < 0 || l > length || (l == length && edge_key(a, b) < key)) {
        length = l;
        key = edge_key(a, b);
        longest = e;
      }
    }
    return longest;
  }

  // An edge to split, or (0, 0); the longest over its size first.
  struct LongEdge {
    double ratio;
    std::uint64_t key;
    bool operator<(const LongEdge& other) const {
      return ratio > other.ratio || (ratio == other.ratio && key < other.key);
    }
    bool operator==(const LongEdge& other) const {
      return ratio == other.ratio && key == other.key;
    }
  };
  // The edge that triangle t asks to split: its longest, if over the threshold and the
  // longest of every triangle it borders; each edge from one triangle only, the one that
  // runs it from its lower vertex, or its only one.
  LongEdge long_edge_of(index_t candidate, double threshold) const {
    const auto& t = triangles_[candidate];
    if (t[0] == NO_ID) return {0, 0};
    const int e = longest_splittable(t);
    if (e < 0) return {0, 0};
    const index_t a = t[e], b = t[(e + 1) % 3];
    const double ratio = edge_ratio(a, b);
    if (!(ratio > threshold)) return {0, 0};
    for (const index_t other : edge_triangles(a, b)) {
      const auto& o = triangles_[other];
      const int oe = longest_splittable(o);
      if (edge_key(o[oe], o[(oe + 1) % 3]) != edge_key(a, b)) return {0, 0};
    }
    if (a < b || on_border_edge(a, b)) return {ratio, edge_key(a, b)};
    return {0, 0};
  }

  // Splits, pass after pass, the long edges that are the longest of every triangle they
  // border: bisecting longest edges keeps the angles of a coarse input from collapsing.
  void split_long_edges(double threshold) {
    // The first pass looks at every triangle, the next ones only near the last splits:
    // nothing else changed.
    std::vector<index_t> candidates;
    for (index_t t = 0; t < triangles_.size(); ++t) {
      if (triangles_[t][0] != NO_ID) candidates.push_back(t);
    }
    std::vector<std::uint32_t> seen(triangles_.size(), 0);
    karvel::TrivialVector<LongEdge> long_edges;
    std::vector<index_t> touched;
    for (std::uint32_t pass = 1; pass <= 60 && !candidates.empty(); ++pass) {
      long_edges.resize_for_overwrite(candidates.size());
      for_each_item(candidates.size(), [&](std::size_t i) {
        long_edges[i] = long_edge_of(candidates[i], threshold);
      });
      long_edges.resize(static_cast<std::size_t>(
          std::remove(long_edges.begin(), long_edges.end(), LongEdge{0, 0}) -
          long_edges.begin()));
      std::sort(long_edges.begin(), long_edges.end());
      // An edge two triangles run the same way (a mesh that is not oriented) is listed
      // twice: it is split once.
      long_edges.resize(static_cast<std::size_t>(
          std::unique(long_edges.begin(), long_edges.end()) - long_edges.begin()));
      // The edges are those of disjoint pairs of triangles, so no split of the pass
      // touches another's new vertex: they are projected together afterwards.
      touched.clear();
      for (const LongEdge& edge : long_edges) {
        const auto a = static_cast<index_t>(edge.key >> 32);
        const auto b = static_cast<index_t>(edge.key);
        touched.push_back(split(a, b, midpoint(points_[a], points_[b])));
      }
      // Onto the surface at once: a smoothing that is refused leaves it there. A line
      // vertex stays the line's, bit for bit.
      for_each_item(touched.size(), [&](std::size_t i) {
        if (kind_[touched[i]] != VertexKind::fixed) project(touched[i]);
      });
      // The triangles whose longest edge, or whose neighbour across it, can have
      // changed: those around the new vertices, and those across their far edges.
      seen.resize(triangles_.size(), 0);
      candidates.clear();
      const auto add = [&](index_t t) {
        if (seen[t] == pass) return;
        seen[t] = pass;
        candidates.push_back(t);
      };
      for (const index_t m : touched) {
        for (const index_t t : around_[m]) {
          add(t);
          const auto& triangle = triangles_[t];
          const int at = triangle[0] == m ? 0 : triangle[1] == m ? 1 : 2;
          for (const index_t across :
               edge_triangles(triangle[(at + 1) % 3], triangle[(at + 2) % 3])) {
            add(across);
          }
        }
      }
    }
  }

  // Whatever held a line edge back from its bisection, the line has those vertices: the
  // surface takes them too.
  void split_remaining_line_edges() {
    for (bool again = true; again;) {
      again = false;
      for (index_t t = 0; t < triangles_.size(); ++t) {
        for (int e = 0; e < 3 && triangles_[t][0] != NO_ID; ++e) {
          const index_t a = triangles_[t][e], b = triangles_[t][(e + 1) % 3];
          if (is_line_edge(a, b) && line_splits(a, b)) {
            split(a, b, midpoint(points_[a], points_[b]));
            again = true;
          }
        }
      }
    }
  }

  // Collapses the input line vertices that the line drops along it; `forced`: whatever
  // the edges and angles left, as long as nothing folds.
  void drop_removable_vertices(bool forced) {
    for (index_t v = 0; v < kind_.size(); ++v) {
      if (kind_[v] != VertexKind::removable) continue;
      for (const index_t u : neighbours(v)) {
        if (can_collapse(v, u, forced)) {
          collapse(v, u);
          break;
        }
      }
    }
  }

  void collapse_short_edges() {
    std::vector<std::pair<double, std::uint64_t>> short_edges;
    for (const auto& t : triangles_) {
      if (t[0] == NO_ID) continue;
      for (int e = 0; e < 3; ++e) {
        const index_t a = t[e], b = t[(e + 1) % 3];
        if (a > b && !on_border_edge(a, b)) continue;
        const double ratio = edge_ratio(a, b);
        if (ratio < short_ratio) short_edges.push_back({ratio, edge_key(a, b)});
      }
    }
    std::sort(short_edges.begin(), short_edges.end());
    for (const auto& [ratio, key] : short_edges) {
      const index_t a = static_cast<index_t>(key >> 32), b = static_cast<index_t>(key);
      if (kind_[a] == VertexKind::dead || kind_[b] == VertexKind::dead) continue;
      if (edge_triangles(a, b).empty() || edge_ratio(a, b) >= short_ratio) continue;
      // Two free vertices meet half way, on the surface: the new edges are shorter than
      // from either end.
      if (kind_[a] == VertexKind::free && kind_[b] == VertexKind::free) {
        Vec3 middle = midpoint(points_[a], points_[b]);
        index_t guess = guess_[a];
        if (settings_.surface) {
          const auto hit = settings_.surface->closest(middle, guess);
          middle = hit.point;
          guess = hit.triangle;
        }
        if (can_collapse(b, a, false, middle)) {
          collapse(b, a, middle, guess);
          continue;
        }
      }
      if (can_collapse(b, a, false)) {
        collapse(b, a);
      } else if (can_collapse(a, b, false)) {
        collapse(a, b);
      }
    }
  }

  // Flips edge (a, b) of triangles (a, b, c) and (b, a, d) to (d, c, a) and (c, d, b).
  struct Flip {
    index_t t1, t2, a, b, c, d;
  };
  // The flip of inner edge (a, b), on no line or crease, from its two triangles.
  bool flippable(index_t a, index_t b, Flip& flip) const {
    if (edge_info(a, b)) return false;
    const auto pair = edge_triangles(a, b);
    if (pair.size() != 2) return false;
    index_t t1 = pair[0], t2 = pair[1];
    // t1 runs a -> b.
    const auto runs = [&](index_t t, index_t x, index_t y) {
      const auto& tr = triangles_[t];
      for (int i = 0; i < 3; ++i) {
        if (tr[i] == x && tr[(i + 1) % 3] == y) return true;
      }
      return false;
    };
    if (!runs(t1, a, b)) std::swap(t1, t2);
    if (!runs(t1, a, b) || !runs(t2, b, a)) return false;
    const index_t c = third(triangles_[t1], a, b), d = third(triangles_[t2], a, b);
    if (c == d) return false;
    flip = {t1, t2, a, b, c, d};
    return true;
  }
  // Whether a flip keeps the surface: no edge made twice, no fold, the two triangles
  // nearly in one plane.
  bool keeps_shape(const Flip& f) const {
    const index_t t1 = f.t1, t2 = f.t2, a = f.a, b = f.b, c = f.c, d = f.d;
    if (joined(c, d)) return false;
    const Vec3 n1 = triangle_normal(triangles_[t1]), n2 = triangle_normal(triangles_[t2]);
    const double l1 = norm(n1), l2 = norm(n2);
    if (!(l1 > 0 && l2 > 0) || dot(n1, n2) < std::cos(30 * M_PI / 180) * l1 * l2)
      return false;
    const Vec3 n = n1 * (1 / l1) + n2 * (1 / l2);
    const Vec3 m1 = normal(points_[d], points_[c], points_[a]);
    const Vec3 m2 = normal(points_[c], points_[d], points_[b]);
    if (dot(m1, n) <= 1e-3 * norm(m1) * norm(n) ||
        dot(m2, n) <= 1e-3 * norm(m2) * norm(n)) {
      return false;
    }
    return true;
  }
  void apply(const Flip& f) {
    triangles_[f.t1] = {f.d, f.c, f.a};
    triangles_[f.t2] = {f.c, f.d, f.b};
    forget(f.a, f.t2);
    forget(f.b, f.t1);
    around_[f.c].push_back(f.t2);
    around_[f.d].push_back(f.t1);
  }
  double old_smallest(const Flip& f) const {
    return std::min(smallest_angle(points_[f.a], points_[f.b], points_[f.c]),
                    smallest_angle(points_[f.b], points_[f.a], points_[f.d]));
  }
  double new_smallest(const Flip& f) const {
    return std::min(smallest_angle(points_[f.d], points_[f.c], points_[f.a]),
                    smallest_angle(points_[f.c], points_[f.d], points_[f.b]));
  }

  // Flips the wanted edges of the triangles in `visit`, in turn. Each edge is looked at
  // from the triangle that runs it from its lower vertex. With `next`, gives the
  // triangles to look at again, in order: the flipped pairs and those across their outer
  // edges, whose edges are the only ones a flip can have made wanted.
  template <typename Wanted>
  void flip_edges(Wanted wanted, const std::vector<index_t>& visit,
                  std::vector<index_t>* next = nullptr) {
    if (next) next->clear();
    for (const index_t t : visit) {
      for (int e = 0; e < 3; ++e) {
        const auto& triangle = triangles_[t];
        if (triangle[0] == NO_ID) break;
        const index_t a = triangle[e], b = triangle[(e + 1) % 3];
        if (a > b) continue;
        Flip flip;
        // The wish first: it is cheaper than the shape.
        if (!(flippable(a, b, flip) && wanted(flip) && keeps_shape(flip))) continue;
        apply(flip);
        if (!next) continue;
        for (const auto& [x, y] :
             {std::pair{flip.a, flip.c}, std::pair{flip.a, flip.d},
              std::pair{flip.b, flip.c}, std::pair{flip.b, flip.d}}) {
          for (const index_t side : edge_triangles(x, y)) next->push_back(side);
        }
      }
    }
    if (next) {
      std::sort(next->begin(), next->end());
      next->erase(std::unique(next->begin(), next->end()), next->end());
    }
  }

  void flip_for_valence() {
    std::vector<index_t> every(triangles_.size());
    for (index_t t = 0; t < every.size(); ++t) every[t] = t;
    flip_edges(
        [this](const Flip& f) {
          const auto deviation = [this](index_t v, int change) {
            const int target = border_[v] ? 4 : 6;
            return std::abs(static_cast<int>(valence(v)) + change - target);
          };
          const int before = deviation(f.a, 0) + deviation(f.b, 0) + deviation(f.c, 0) +
                             deviation(f.d, 0);
          const int after = deviation(f.a, -1) + deviation(f.b, -1) + deviation(f.c, 1) +
                            deviation(f.d, 1);
          return after < before && new_smallest(f) >= 0.5 * old_smallest(f);
        },
        every);
  }

  // Towards a Delaunay mesh: an edge whose two opposite angles add up to more than pi is
  // flipped (which, in a plane, raises the smallest angle).
  void flip_for_angles() {
    const auto wanted = [this](const Flip& f) {
      const Vec3 u1 = points_[f.a] - points_[f.c], v1 = points_[f.b] - points_[f.c];
      const Vec3 u2 = points_[f.b] - points_[f.d], v2 = points_[f.a] - points_[f.d];
      // sin(alpha + beta) < 0, each sine and cosine scaled by its two lengths.
      const double scale =
          std::sqrt(dot(u1, u1) * dot(v1, v1) * dot(u2, u2) * dot(v2, v2));
      return norm(cross(u1, v1)) * dot(u2, v2) + dot(u1, v1) * norm(cross(u2, v2)) <
             -1e-9 * scale;
    };
    // The first pass visits the triangles with an edge to flip as the mesh stands (found
    // on the pool), each next pass those around the last one's flips.
    karvel::TrivialVector<bool> asks;
    asks.resize_for_overwrite(triangles_.size());
    for_each_item(triangles_.size(), [&](std::size_t t) {
      asks[t] = false;
      const auto& triangle = triangles_[t];
      for (int e = 0; e < 3 && triangle[0] != NO_ID; ++e) {
        const index_t a = triangle[e], b = triangle[(e + 1) % 3];
        Flip flip;
        if (a < b && flippable(a, b, flip) && wanted(flip)) asks[t] = true;
      }
    });
    std::vector<index_t> visit;
    for (index_t t = 0; t < triangles_.size(); ++t) {
      if (asks[t]) visit.push_back(t);
    }
    std::vector<index_t> next;
    for (int pass = 0; pass < 10 && !visit.empty(); ++pass) {
      flip_edges(wanted, visit, &next);
      visit.swap(next);
    }
  }

  void project(index_t v) {
    if (!settings_.surface) return;
    const auto hit = settings_.surface->closest(points_[v], guess_[v]);
    points_[v] = hit.point;
    guess_[v] = hit.triangle;
  }

  void smooth() {
    for (index_t v = 0; v < points_.size(); ++v) {
      if (kind_[v] != VertexKind::free || around_[v].empty()) continue;
      Vec3 centroid{0, 0, 0}, vertex_normal{0, 0, 0};
      double area = 0;
      for (const index_t t : around_[v]) {
        const auto& tr = triangles_[t];
        const Vec3 n = triangle_normal(tr);
        const double a = norm(n);
        centroid =
            centroid + (points_[tr[0]] + points_[tr[1]] + points_[tr[2]]) * (a / 3);
        vertex_normal = vertex_normal + n;
        area += a;
      }
      if (!(area > 0)) continue;
      centroid = centroid * (1 / area);
      const double length = norm(vertex_normal);
      if (!(length > 0)) continue;
      const Vec3 n = vertex_normal * (1 / length);
      const Vec3 old = points_[v];
      const Vec3 step = centroid - old;
      points_[v] = old + step - n * dot(step, n);
      const index_t old_guess = guess_[v];
      project(v);
      bool folded = false;
      for (const index_t t : around_[v]) {
        const auto& tr = triangles_[t];
        const Vec3 after = triangle_normal(tr);
        Vec3 before_points[3];
        for (int i = 0; i < 3; ++i) before_points[i] = tr[i] == v ? old : points_[tr[i]];
        const Vec3 before = normal(before_points[0], before_points[1], before_points[2]);
        if (dot(before, after) <= 0.2 * norm(before) * norm(after)) folded = true;
      }
      if (folded) {
        points_[v] = old;
        guess_[v] = old_guess;
      }
    }
  }

  const SurfaceSettings& settings_;
  index_t input_vertices_;  // vertices below are the input's, in its numbers
  // Grown a split at a time: mapped arrays grow without copies and on large pages.
  karvel::TrivialVector<Vec3> points_;
  karvel::TrivialVector<VertexKind> kind_;
  karvel::TrivialVector<Tie> ties_;
  karvel::TrivialVector<index_t> guess_;
  karvel::TrivialVector<bool> border_;
  std::vector<absl::InlinedVector<index_t, 8>> around_;
  karvel::TrivialVector<std::array<index_t, 3>> triangles_;
  absl::flat_hash_map<std::uint64_t, EdgeInfo> edge_info_;
};

}  // namespace

SurfaceOutput remesh_surface(const SurfaceInput& input, const SurfaceSettings& settings) {
  WorkingMesh mesh{input, settings};
  mesh.run();
  return mesh.output();
}

}  // namespace vemra::remesher
