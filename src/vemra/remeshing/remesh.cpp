// remesh(input, output, metric, options):
//   output: the input's components (meshes emptied) and relationships
//   lines: each one chained; it keeps its corners, its sharp turns and what a surface
//     could not drop in an earlier round, drops input vertices while the edges stay
//     within the size, and bisects the edges that are too long
//   pieces: a surface that its creases part is cut into regions; the chains of parting
//     creases are lines of the remesher's own, resampled as the model's are (a model
//     line keeps the vertex where one ends on it)
//   pieces, in parallel, in batches (progress between them): each one remeshed on its
//     own, its line edges bisected as their lines were
//   a piece that kept an input line vertex: its line keeps it too, and the surfaces of
//     that line are done again (at most two more rounds; the last keeps every vertex of
//     those lines)
//   output meshes and unique vertices: one per corner, per new line vertex, per surface
//     vertex of its own; a surface's pieces joined where they share a vertex.

#include <vemra/remesh.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <sstream>
#include <stdexcept>

#include <absl/container/flat_hash_set.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include <karvel/basic/exception.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/mesh/triangulated_surface_builder.h>
#include <vemra/remeshing/model_kind.h>

#include "remesh/closest_point.h"
#include "remesh/crease_cut.h"
#include "remesh/line_resampling.h"
#include "remesh/surface_remesher.h"

namespace vemra {
namespace {

using namespace remesher;  // the remesher's vector arithmetic
using karvel::ComponentType;
using karvel::NO_ID;
using remesher::Tie;
using remesher::Vec3;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Model>
class Remesher {
  static constexpr index_t D = ModelKind<Model>::dimension;
  using Builder = typename ModelKind<Model>::Builder;

 public:
  Remesher(const Model& input, Model& output, const karvel::ModelCopyMapping& mapping,
           const Metric<D>& metric, const RemeshOptions& options)
      : input_{input},
        output_{output},
        mapping_{mapping},
        metric_{metric},
        options_{options} {}

  RemeshReport run() {
    const auto start = Clock::now();
    for (const auto& surface : input_.surfaces()) {
      report_.triangles_before += surface.get_mesh().nb_polygons();
      surfaces_.push_back(&surface);
    }
    for (const auto& line : input_.lines()) lines_.push_back(&line);
    index_t index = 0;
    for (const auto* line : lines_) line_index_[line->id()] = index++;

    auto phase = Clock::now();
    lines_data_.resize(lines_.size());
    for (index_t l = 0; l < lines_.size(); ++l) prepare_line(l);
    cut_surfaces();
    for (index_t l = 0; l < lines_data_.size(); ++l) resample_line(l);
    report_.line_seconds = seconds_since(phase);

    phase = Clock::now();
    results_.resize(pieces_.size());
    origins_.resize(pieces_.size());
    std::vector<index_t> todo(pieces_.size());
    for (index_t p = 0; p < todo.size(); ++p) todo[p] = p;
    for (int round = 0; !todo.empty(); ++round) {
      remesh_pieces(todo, start);
      todo = pieces_to_redo(round >= 1);
    }
    report_.surface_seconds = seconds_since(phase);

    phase = Clock::now();
    write_output();
    report_.output_seconds = seconds_since(phase);
    for (const auto& result : results_)
      report_.triangles_after += result.triangles.size();
    return report_;
  }

 private:
  struct LineData {
    // A model line's input vertices in order, or those of a crease of surface
    // `crease_of` that parts two of its pieces (the surface's own vertex numbers).
    std::vector<index_t> chain;
    index_t crease_of{NO_ID};
    bool closed{false};
    std::vector<Vec3> chain_points;
    std::vector<bool> kept;       // chain vertices that must stay
    std::vector<index_t> unique;  // input unique vertex of each chain vertex
    remesher::LinePoints points;
  };

  double size(const Vec3& p) const {
    const double h = metric_.point_metric(remesher::to_point<D>(p));
    if (!(h > 0) || !std::isfinite(h)) {
      std::ostringstream message;
      message << "[remesh] The metric gives a size of " << h << " at "
              << remesher::to_point<D>(p) << ": a size must be positive and finite";
      throw std::domain_error{message.str()};
    }
    return h;
  }

  bool is_corner(index_t unique) const {
    for (const auto& held : input_.slot_vertices(unique)) {
      if (input_.slot_component(held.slot).type == ComponentType::corner) return true;
    }
    return false;
  }

  void prepare_line(index_t l) {
    const auto& line = *lines_[l];
    const auto& mesh = line.mesh();
    const index_t slot = input_.component_slot(line.id());
    index_t start = NO_ID;
    for (index_t v = 0; v < mesh.nb_vertices() && start == NO_ID; ++v) {
      const index_t u = slot == NO_ID ? NO_ID : input_.unique_vertex(slot, v);
      if (u != NO_ID && is_corner(u)) start = v;
    }
    const auto chain = remesher::chain_of(mesh, start);
    auto& data = lines_data_[l];
    data.chain = chain.vertices;
    data.closed = chain.closed;
    const std::size_t n = data.chain.size();
    data.kept.assign(n, false);
    data.unique.assign(n, NO_ID);
    for (std::size_t k = 0; k < n; ++k) {
      data.chain_points.push_back(remesher::to_vec3<D>(mesh.point(data.chain[k])));
      data.unique[k] = slot == NO_ID ? NO_ID : input_.unique_vertex(slot, data.chain[k]);
      if (data.unique[k] != NO_ID && is_corner(data.unique[k])) data.kept[k] = true;
    }
    keep_sharp_turns(data);
  }

  // A line keeps the vertices where it turns by more than the feature angle.
  void keep_sharp_turns(LineData& data) const {
    const double sharp = std::cos(options_.feature_angle * M_PI / 180);
    for (std::size_t k = 1; k + 1 < data.chain.size(); ++k) {
      const Vec3 in = data.chain_points[k] - data.chain_points[k - 1];
      const Vec3 out = data.chain_points[k + 1] - data.chain_points[k];
      if (dot(in, out) < sharp * norm(in) * norm(out)) data.kept[k] = true;
    }
  }

  void resample_line(index_t l) {
    auto& data = lines_data_[l];
    data.points = remesher::resample(data.chain_points, data.kept, data.closed,
                                     options_.feature_angle * M_PI / 180,
                                     [this](const Vec3& p) { return size(p); });
  }

  // Cuts each surface of a 3-D model along the creases that part it: each region a piece
  // remeshed on its own, each chain of parting creases a line of the remesher's own
  // (after the model's lines), which keeps its ends and its sharp turns; a model line
  // keeps the vertices where such a chain meets it.
  void cut_surfaces() {
    surface_pieces_.resize(surfaces_.size());
    // The model lines through each input unique vertex: (line, chain index).
    absl::flat_hash_map<index_t, absl::InlinedVector<std::pair<index_t, index_t>, 2>>
        on_lines;
    for (index_t l = 0; l < lines_.size(); ++l) {
      const auto& unique = lines_data_[l].unique;
      for (index_t k = 0; k < unique.size(); ++k) {
        if (unique[k] != NO_ID) on_lines[unique[k]].push_back({l, k});
      }
    }
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      const auto& mesh = triangulated(s);
      const index_t slot = input_.component_slot(surfaces_[s]->id());
      const auto unique = [&](index_t v) {
        return slot == NO_ID ? NO_ID : input_.unique_vertex(slot, v);
      };
      remesher::CreaseCut cut;
      if (D == 3) {
        std::vector<Vec3> points;
        std::vector<std::array<index_t, 3>> triangles, beside;
        for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
          points.push_back(remesher::to_vec3<D>(mesh.point(v)));
        }
        for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
          triangles.push_back(mesh.triangle_vertices(t));
          beside.push_back(mesh.triangle_adjacents(t));
        }
        // Whether (a, b) is an edge of a model line (a closed chain repeats its first).
        const auto on_line = [&](index_t a, index_t b) {
          const auto found_a = on_lines.find(unique(a));
          const auto found_b = on_lines.find(unique(b));
          if (found_a == on_lines.end() || found_b == on_lines.end()) return false;
          for (const auto& [line, k] : found_a->second) {
            for (const auto& [other, j] : found_b->second) {
              if (other == line && (j == k + 1 || k == j + 1)) return true;
            }
          }
          return false;
        };
        const auto is_stop = [&](index_t v) {
          const index_t u = unique(v);
          return u != NO_ID && (on_lines.contains(u) || is_corner(u));
        };
        cut = remesher::cut_at_creases(points, triangles, beside,
                                       options_.feature_angle * M_PI / 180, on_line,
                                       is_stop);
      }
      // Without a parting crease the surface stays whole, parts of it that touch at a
      // vertex alone included.
      if (cut.chains.empty()) {
        cut.regions.assign(1, std::vector<index_t>(mesh.nb_polygons()));
        for (index_t t = 0; t < mesh.nb_polygons(); ++t) cut.regions[0][t] = t;
      }
      for (auto& region : cut.regions) {
        surface_pieces_[s].push_back(static_cast<index_t>(pieces_.size()));
        pieces_.push_back({s, std::move(region)});
      }
      for (const auto& chain : cut.chains) {
        LineData data;
        data.chain = chain.vertices;
        data.closed = chain.closed;
        data.crease_of = s;
        const std::size_t n = data.chain.size();
        data.unique.assign(n, NO_ID);
        data.kept.assign(n, false);
        for (std::size_t k = 0; k < n; ++k) {
          data.chain_points.push_back(remesher::to_vec3<D>(mesh.point(data.chain[k])));
          // Where it meets a model line, both keep the vertex; a corner stays.
          const index_t u = unique(data.chain[k]);
          const auto found = u == NO_ID ? on_lines.end() : on_lines.find(u);
          if (found != on_lines.end()) {
            data.kept[k] = true;
            for (const auto& [line, j] : found->second) lines_data_[line].kept[j] = true;
          } else if (u != NO_ID && is_corner(u)) {
            data.kept[k] = true;
          }
        }
        keep_sharp_turns(data);
        lines_data_.push_back(std::move(data));
      }
    }
  }

  const karvel::TriangulatedSurface<D>& triangulated(index_t s) const {
    return dynamic_cast<const karvel::TriangulatedSurface<D>&>(surfaces_[s]->get_mesh());
  }

  // A piece's input: its surface's points, its triangles (a neighbour in another piece
  // is across its border), the edges of lines it holds with the lines' new vertices, and
  // the line vertices it holds.
  remesher::SurfaceInput piece_input(index_t p) const {
    const Piece& piece = pieces_[p];
    const auto& surface = *surfaces_[piece.surface];
    const auto& mesh = triangulated(piece.surface);
    const bool whole = surface_pieces_[piece.surface].size() == 1;
    remesher::SurfaceInput in;
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      in.points.push_back(remesher::to_vec3<D>(mesh.point(v)));
    }
    std::vector<index_t> position(whole ? 0 : mesh.nb_polygons(), NO_ID);
    for (index_t i = 0; i < piece.triangles.size() && !whole; ++i) {
      position[piece.triangles[i]] = i;
    }
    std::vector<bool> holds(mesh.nb_vertices(), false);
    absl::flat_hash_set<std::uint64_t> edges;  // the piece's
    for (const index_t t : piece.triangles) {
      const auto v = mesh.triangle_vertices(t);
      auto beside = mesh.triangle_adjacents(t);
      for (auto& u : beside) {
        if (!whole && u != NO_ID) u = position[u];
      }
      in.triangles.push_back(v);
      in.beside.push_back(beside);
      for (int e = 0; e < 3; ++e) {
        edges.insert(edge_key(v[e], v[(e + 1) % 3]));
        holds[v[e]] = true;
      }
    }
    // A model line's edges must be the surface's, whichever piece holds them.
    absl::flat_hash_set<std::uint64_t> surface_edges;
    for (index_t t = 0; t < mesh.nb_polygons() && !whole; ++t) {
      const auto v = mesh.triangle_vertices(t);
      for (int e = 0; e < 3; ++e) surface_edges.insert(edge_key(v[e], v[(e + 1) % 3]));
    }
    const auto& all_edges = whole ? edges : surface_edges;
    const index_t slot = input_.component_slot(surface.id());
    absl::flat_hash_map<index_t, Tie> ties;
    const auto tie_vertex = [&ties](index_t vertex, const Tie& tie) {
      auto [place, added] = ties.emplace(vertex, tie);
      // A vertex that one line keeps stays, whatever another says.
      if (!added && tie.kind == Tie::line_point) place->second = tie;
    };
    const auto tie_of = [this](index_t l, index_t k) {
      const index_t point = lines_data_[l].points.of_chain_vertex[k];
      return point != NO_ID ? Tie{Tie::line_point, l, point}
                            : Tie{Tie::kept_line_vertex, l, k};
    };
    const auto add_edge = [&](index_t l, index_t k, index_t from, index_t to) {
      std::vector<std::pair<double, Tie>> inside;
      for (const auto& [t, point] : lines_data_[l].points.inside_edge[k]) {
        inside.push_back({t, Tie{Tie::line_point, l, point}});
      }
      in.line_edges.push_back({from, to, l, std::move(inside)});
    };
    // The surface's crease lines first: where one ends on a model line, the model
    // line's tie stands, the same in every piece.
    for (index_t l = static_cast<index_t>(lines_.size()); l < lines_data_.size(); ++l) {
      const auto& data = lines_data_[l];
      if (data.crease_of != piece.surface) continue;
      for (index_t k = 0; k + 1 < data.chain.size(); ++k) {
        const index_t from = data.chain[k], to = data.chain[k + 1];
        if (edges.contains(edge_key(from, to))) add_edge(l, k, from, to);
      }
      for (index_t k = 0; k < data.chain.size(); ++k) {
        if (holds[data.chain[k]]) tie_vertex(data.chain[k], tie_of(l, k));
      }
    }
    const auto visit_lines = [&](absl::Span<const karvel::ComponentID> related) {
      for (const auto& component : related) {
        if (component.type != ComponentType::line) continue;
        const index_t l = line_index_.at(component.id);
        const auto& data = lines_data_[l];
        const auto surface_vertices = [&](index_t k) {
          absl::InlinedVector<index_t, 2> found;
          if (slot != NO_ID && data.unique[k] != NO_ID) {
            input_.for_each_vertex_in_slot(data.unique[k], slot,
                                           [&found](index_t v) { found.push_back(v); });
          }
          return found;
        };
        for (index_t k = 0; k + 1 < data.chain.size(); ++k) {
          index_t from = NO_ID, to = NO_ID;
          for (const index_t a : surface_vertices(k)) {
            for (const index_t b : surface_vertices(k + 1)) {
              if (from == NO_ID && all_edges.contains(edge_key(a, b))) {
                from = a;
                to = b;
              }
            }
          }
          if (from == NO_ID) {
            throw karvel::KarvelException{"[remesh] Line " + component.id.string() +
                                          " has an edge that surface " +
                                          surface.id().string() + " does not hold"};
          }
          if (!edges.contains(edge_key(from, to))) continue;
          add_edge(l, k, from, to);
          tie_vertex(from, tie_of(l, k));
          tie_vertex(to, tie_of(l, k + 1));
        }
        // A piece may touch a line at a vertex alone, where a crease ends on it.
        for (index_t k = 0; k < data.chain.size() && !whole; ++k) {
          for (const index_t v : surface_vertices(k)) {
            if (holds[v]) tie_vertex(v, tie_of(l, k));
          }
        }
      }
    };
    visit_lines(input_.boundaries(surface.id()));
    visit_lines(input_.internals(surface.id()));
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      const auto found = ties.find(v);
      if (found != ties.end()) in.line_vertices.push_back(*found);
    }
    return in;
  }

  // Remeshes piece p on its own, into results_[p] (and origins_[p]: the surface's
  // triangles).
  void remesh_piece(index_t p) {
    const auto in = piece_input(p);
    // A section's points stay in their plane: nothing to project onto.
    std::unique_ptr<remesher::ClosestPoint> projector;
    if (D == 3) {
      projector =
          std::make_unique<remesher::ClosestPoint>(in.points, in.triangles, in.beside);
    }
    remesher::SurfaceSettings settings;
    settings.iterations = options_.iterations;
    settings.feature_angle = options_.feature_angle;
    settings.surface = projector.get();
    settings.size = [this](const Vec3& point) { return size(point); };
    settings.line_midpoint = [this](index_t line, const Vec3& point) {
      return lines_data_[line].points.find_midpoint(point);
    };
    results_[p] = remesher::remesh_surface(in, settings);
    if (options_.record_origins) {
      // A section's surface gets one for its origins only.
      if (!projector) {
        projector =
            std::make_unique<remesher::ClosestPoint>(in.points, in.triangles, in.beside);
      }
      const auto& out = results_[p];
      auto& origins = origins_[p];
      origins.resize(out.triangles.size());
      index_t guess = NO_ID;
      for (std::size_t t = 0; t < out.triangles.size(); ++t) {
        const auto& v = out.triangles[t];
        const Vec3 centroid =
            (out.points[v[0]] + out.points[v[1]] + out.points[v[2]]) * (1.0 / 3);
        guess = projector->nearest(centroid, guess).triangle;
        origins[t] = pieces_[p].triangles[guess];
      }
    }
  }

  void remesh_pieces(std::vector<index_t> todo, Clock::time_point start) {
    // The largest pieces first, so that the last ones to end are small; batches big
    // enough to keep every worker busy, few enough for progress, which counts the
    // surfaces whose pieces are all done.
    std::stable_sort(todo.begin(), todo.end(), [this](index_t a, index_t b) {
      return pieces_[a].triangles.size() > pieces_[b].triangles.size();
    });
    absl::flat_hash_map<index_t, std::size_t> left;  // pieces to do, by surface
    for (const index_t p : todo) ++left[pieces_[p].surface];
    const std::size_t surfaces = left.size();
    std::size_t surfaces_done = 0;
    const std::size_t workers = std::size_t(tbb::this_task_arena::max_concurrency());
    const std::size_t batch = std::max<std::size_t>(4 * workers, todo.size() / 8);
    for (std::size_t first = 0; first < todo.size(); first += batch) {
      const std::size_t last = std::min(todo.size(), first + batch);
      // A failure waits for the batch; of several, the first in the batch's order wins,
      // whatever the threads.
      std::vector<std::exception_ptr> failures(last - first);
      // Isolated: a caller's task group cancelled around us must not skip pieces.
      tbb::task_group_context context{tbb::task_group_context::isolated};
      tbb::parallel_for(
          first, last,
          [&](std::size_t i) {
            try {
              remesh_piece(todo[i]);
            } catch (...) {
              failures[i - first] = std::current_exception();
            }
          },
          context);
      for (const auto& failure : failures) {
        if (failure) std::rethrow_exception(failure);
      }
      for (std::size_t i = first; i < last; ++i) {
        if (--left[pieces_[todo[i]].surface] == 0) ++surfaces_done;
      }
      if (options_.progress &&
          !options_.progress({surfaces_done, surfaces, seconds_since(start)})) {
        throw RemeshStopped{"remesh: stopped by the progress callback"};
      }
    }
  }

  // The pieces to do again: those of the surfaces of the lines that must keep a vertex
  // some piece kept. With `keep_all`, those lines keep every input vertex.
  std::vector<index_t> pieces_to_redo(bool keep_all) {
    absl::flat_hash_set<index_t> changed_lines;
    for (const auto& result : results_) {
      for (const auto& tie : result.ties) {
        if (tie.kind != Tie::kept_line_vertex) continue;
        auto& data = lines_data_[tie.line];
        if (!data.kept[tie.index]) ++report_.line_vertices_kept;
        data.kept[tie.index] = true;
        changed_lines.insert(tie.line);
      }
    }
    if (changed_lines.empty()) return {};
    for (const index_t l : changed_lines) {
      auto& data = lines_data_[l];
      if (keep_all) data.kept.assign(data.kept.size(), true);
      resample_line(l);
    }
    std::vector<index_t> redo;
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      bool touched = false;
      for (const index_t l : changed_lines) {
        if (lines_data_[l].crease_of == s) touched = true;
      }
      for (const auto& component : input_.boundaries(surfaces_[s]->id())) {
        if (component.type == ComponentType::line &&
            changed_lines.contains(line_index_.at(component.id))) {
          touched = true;
        }
      }
      for (const auto& component : input_.internals(surfaces_[s]->id())) {
        if (component.type == ComponentType::line &&
            changed_lines.contains(line_index_.at(component.id))) {
          touched = true;
        }
      }
      if (touched) {
        redo.insert(redo.end(), surface_pieces_[s].begin(), surface_pieces_[s].end());
      }
    }
    return redo;
  }

  void write_output() {
    Builder builder{output_};
    // Corners: their copies keep their point; one unique vertex each.
    absl::flat_hash_map<index_t, index_t> corner_unique;  // input unique -> output unique
    for (const auto& corner : input_.corners()) {
      const karvel::uuid out = mapping_.at(ComponentType::corner).in2out(corner.id());
      const index_t in_slot = input_.component_slot(corner.id());
      const index_t out_slot = builder.component_slot({ComponentType::corner, out});
      for (index_t v = 0; v < corner.mesh().nb_vertices(); ++v) {
        const index_t u = builder.create_unique_vertex();
        builder.set_unique_vertex(out_slot, v, u);
        if (in_slot != NO_ID && input_.unique_vertex(in_slot, v) != NO_ID) {
          corner_unique[input_.unique_vertex(in_slot, v)] = u;
        }
      }
    }
    // Lines: the new points, and their unique vertices.
    std::vector<std::vector<index_t>> point_unique(lines_.size());
    for (index_t l = 0; l < lines_.size(); ++l) {
      const auto& data = lines_data_[l];
      const auto& positions = data.points.positions;
      const karvel::uuid out = mapping_.at(ComponentType::line).in2out(lines_[l]->id());
      auto mesh = builder.line_mesh_builder(out);
      const index_t out_slot = builder.component_slot({ComponentType::line, out});
      point_unique[l].assign(positions.size(), NO_ID);
      for (index_t k = 0; k < data.chain.size(); ++k) {
        const index_t p = data.points.of_chain_vertex[k];
        if (p == NO_ID) continue;
        const auto found = corner_unique.find(data.unique[k]);
        if (found != corner_unique.end()) point_unique[l][p] = found->second;
      }
      for (index_t p = 0; p < positions.size(); ++p) {
        mesh.create_point(remesher::to_point<D>(positions[p]));
        if (point_unique[l][p] == NO_ID)
          point_unique[l][p] = builder.create_unique_vertex();
        builder.set_unique_vertex(out_slot, p, point_unique[l][p]);
      }
      const index_t n = static_cast<index_t>(positions.size());
      for (index_t p = 0; p + 1 < n; ++p) mesh.create_edge(p, p + 1);
      if (data.closed && n > 1) mesh.create_edge(n - 1, 0);
    }
    // Surfaces.
    std::vector<karvel::TriangulatedSurfaceBuilder<D>> meshes;
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      const karvel::uuid out =
          mapping_.at(ComponentType::surface).in2out(surfaces_[s]->id());
      auto mesh = builder.triangulated_surface_builder(out);
      const index_t out_slot = builder.component_slot({ComponentType::surface, out});
      const auto& pieces = surface_pieces_[s];
      // The pieces' vertices, those on the creases between pieces once: an input vertex
      // by its number, a new point of a crease by the crease's point.
      struct Vertex {
        Vec3 point;
        index_t unique;  // NO_ID: one of its own
      };
      std::vector<Vertex> vertices;
      std::vector<std::array<index_t, 3>> triangles;
      absl::flat_hash_map<index_t, index_t> of_input;         // input vertex -> vertex
      absl::flat_hash_map<std::uint64_t, index_t> of_crease;  // (line, point) -> vertex
      index_t own = 0;
      for (const index_t p : pieces) {
        const auto& result = results_[p];
        std::vector<index_t> number(result.points.size());
        for (index_t v = 0; v < result.points.size(); ++v) {
          const auto& tie = result.ties[v];
          Vertex vertex{result.points[v], NO_ID};
          if (tie.kind == Tie::line_point) {
            // The line's own coordinates: one point per unique vertex, bit for bit.
            vertex.point = lines_data_[tie.line].points.positions[tie.index];
            if (tie.line < lines_.size())
              vertex.unique = point_unique[tie.line][tie.index];
          }
          index_t* shared = nullptr;
          const auto here = static_cast<index_t>(vertices.size());
          if (pieces.size() > 1 && result.input_vertices[v] != NO_ID) {
            shared = &of_input.try_emplace(result.input_vertices[v], here).first->second;
          } else if (tie.kind == Tie::line_point && tie.line >= lines_.size()) {
            const std::uint64_t key = std::uint64_t{tie.line} << 32 | tie.index;
            shared = &of_crease.try_emplace(key, here).first->second;
          }
          number[v] = shared ? *shared : here;
          if (number[v] != here) continue;
          if (vertex.unique == NO_ID) ++own;
          vertices.push_back(vertex);
        }
        for (const auto& t : result.triangles) {
          triangles.push_back({number[t[0]], number[t[1]], number[t[2]]});
        }
      }
      index_t next_own = own > 0 ? builder.create_unique_vertices(own) : NO_ID;
      mesh.reserve(static_cast<index_t>(vertices.size()),
                   static_cast<index_t>(triangles.size()));
      for (index_t v = 0; v < vertices.size(); ++v) {
        mesh.create_point(remesher::to_point<D>(vertices[v].point));
        builder.set_unique_vertex(
            out_slot, v, vertices[v].unique != NO_ID ? vertices[v].unique : next_own++);
      }
      for (const auto& triangle : triangles) mesh.create_triangle(triangle);
      meshes.push_back(mesh);
      if (options_.record_origins) {
        auto& origins = report_.origins[out];
        for (const index_t p : pieces) {
          origins.insert(origins.end(), origins_[p].begin(), origins_[p].end());
        }
      }
    }
    // Each mesh is linked on its own: side by side, a failure the first in surface order.
    std::vector<std::exception_ptr> failures(meshes.size());
    tbb::task_group_context context{tbb::task_group_context::isolated};
    tbb::parallel_for(
        std::size_t{0}, meshes.size(),
        [&](std::size_t s) {
          try {
            meshes[s].compute_triangle_adjacencies();
          } catch (...) {
            failures[s] = std::current_exception();
          }
        },
        context);
    for (const auto& failure : failures) {
      if (failure) std::rethrow_exception(failure);
    }
  }

  const Model& input_;
  Model& output_;
  const karvel::ModelCopyMapping& mapping_;
  const Metric<D>& metric_;
  const RemeshOptions& options_;
  RemeshReport report_;
  std::vector<const karvel::Surface<D>*> surfaces_;
  std::vector<const karvel::Line<D>*> lines_;
  absl::flat_hash_map<karvel::uuid, index_t> line_index_;
  std::vector<LineData> lines_data_;  // the model's lines, then the creases'
  // A region of a surface between the creases that part it, remeshed on its own.
  struct Piece {
    index_t surface;
    std::vector<index_t> triangles;  // the surface's, increasing
  };
  std::vector<Piece> pieces_;
  std::vector<std::vector<index_t>> surface_pieces_;  // each surface's pieces, in order
  std::vector<remesher::SurfaceOutput> results_;      // by piece
  std::vector<std::vector<index_t>> origins_;         // by piece
};

// Empties the meshes of the output's lines and surfaces, copies of the input's.
template <typename Model>
void empty_meshes(Model& output) {
  typename ModelKind<Model>::Builder builder{output};
  for (const auto& line : output.lines()) {
    auto mesh = builder.line_mesh_builder(line.id());
    mesh.delete_edges(std::vector<bool>(line.mesh().nb_edges(), true));
    mesh.delete_isolated_vertices();
  }
  for (const auto& surface : output.surfaces()) {
    auto mesh = builder.triangulated_surface_builder(surface.id());
    mesh.delete_triangles(std::vector<bool>(surface.get_mesh().nb_polygons(), true));
    mesh.delete_isolated_vertices();
  }
}

// Before anything is changed: what the remesher cannot take.
template <typename Model>
void refuse(const Model& input, const RemeshOptions& options) {
  if (!(options.feature_angle > 0 && options.feature_angle < 180)) {
    throw std::invalid_argument{
        "[remesh] The feature angle is in degrees, more than 0 and less than 180"};
  }
  if (options.iterations < 0) {
    throw std::invalid_argument{"[remesh] The number of iterations cannot be negative"};
  }
  for (const auto& surface : input.surfaces()) {
    if (!dynamic_cast<const karvel::TriangulatedSurface<ModelKind<Model>::dimension>*>(
            &surface.get_mesh())) {
      throw karvel::KarvelException{"[remesh] Surface " + surface.id().string() +
                                    " is not triangulated"};
    }
  }
}

template <typename Model>
RemeshReport remesh_into(const Model& input, Model& output,
                         const karvel::ModelCopyMapping& mapping,
                         const Metric<ModelKind<Model>::dimension>& metric,
                         const RemeshOptions& options) {
  if (output.nb_unique_vertices() != 0) {
    throw karvel::KarvelException{
        "[remesh] The output model already has unique vertices"};
  }
  refuse(input, options);
  empty_meshes(output);
  return Remesher<Model>{input, output, mapping, metric, options}.run();
}

template <typename Model>
RemeshReport remesh_model(const Model& input, Model& output,
                          const Metric<ModelKind<Model>::dimension>& metric,
                          const RemeshOptions& options) {
  if (output.nb_corners() + output.nb_lines() + output.nb_surfaces() != 0) {
    throw karvel::KarvelException{"[remesh] The output model must be empty"};
  }
  refuse(input, options);  // the output stays empty
  typename ModelKind<Model>::Builder builder{output};
  const auto mapping = builder.copy_components(input);
  builder.copy_relationships(mapping, input);
  return remesh_into(input, output, mapping, metric, options);
}

}  // namespace

RemeshReport remesh(const karvel::BRep& input, karvel::BRep& output,
                    const Metric<3>& metric, const RemeshOptions& options) {
  return remesh_model(input, output, metric, options);
}
RemeshReport remesh(const karvel::Section& input, karvel::Section& output,
                    const Metric<2>& metric, const RemeshOptions& options) {
  return remesh_model(input, output, metric, options);
}
RemeshReport remesh(RemeshingData<karvel::BRep, 3>& data, const RemeshOptions& options) {
  return remesh_into(data.input, data.output, data.output_mapping, data.metric, options);
}
RemeshReport remesh(RemeshingData<karvel::Section, 2>& data,
                    const RemeshOptions& options) {
  return remesh_into(data.input, data.output, data.output_mapping, data.metric, options);
}

}  // namespace vemra
