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
//   a piece that kept an input line vertex: its line keeps it too, and the pieces of
//     that line are done again (at most two more rounds; the last keeps every vertex of
//     those lines)
//   a surface's pieces joined where they share a vertex; where two made the same edge
//     (both closed the same ear along a parting crease), the surface is remeshed whole
//   output meshes and unique vertices: one per corner, per new line vertex, per surface
//     vertex of its own.

#include <vemra/remesh.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include <absl/container/flat_hash_set.h>
#include <absl/container/inlined_vector.h>
#include <tbb/task_arena.h>

#include <karvel/basic/exception.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/mesh/triangulated_surface_builder.h>
#include <vemra/remeshing/model_kind.h>

#include "remesh/closest_point.h"
#include "remesh/crease_cut.h"
#include "remesh/line_resampling.h"
#include "remesh/parallel_blocks.h"
#include "remesh/piece_join.h"
#include "remesh/surface_pieces.h"
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
    while (!todo.empty()) {
      for (int round = 0; !todo.empty(); ++round) {
        remesh_pieces(todo, start);
        todo = pieces_to_redo(round >= 1);
      }
      todo = join_surfaces();
    }
    report_.surface_seconds = seconds_since(phase);

    phase = Clock::now();
    write_output();
    report_.output_seconds = seconds_since(phase);
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      report_.triangles_after += surface_result(s).triangles.size();
    }
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

  // A region of a surface between the creases that part it, remeshed on its own; the
  // line edges and line vertices it holds, in its own vertex numbers.
  struct Piece {
    index_t surface;
    remesher::PieceMesh mesh;
    struct LineEdge {
      index_t from, to, line, k;  // edge k of the line, from `from` to `to`
    };
    std::vector<LineEdge> line_edges;
    struct LineVertex {
      index_t vertex, line, k;  // vertex k of the line
    };
    std::vector<LineVertex> line_vertices;
    std::vector<index_t> fixed_vertices;  // where its surface touches itself
    bool live{true};  // false once its surface is remeshed as one piece instead
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

  const karvel::TriangulatedSurface<D>& triangulated(index_t s) const {
    return dynamic_cast<const karvel::TriangulatedSurface<D>&>(surfaces_[s]->get_mesh());
  }

  // A surface's points, triangles and neighbours, in the remesher's terms.
  struct SurfaceArrays {
    std::vector<Vec3> points;
    std::vector<std::array<index_t, 3>> triangles, beside;
    std::vector<index_t> pinched;  // where it touches itself
  };
  SurfaceArrays arrays_of(index_t s) const {
    const auto& mesh = triangulated(s);
    SurfaceArrays arrays;
    arrays.points.reserve(mesh.nb_vertices());
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      arrays.points.push_back(remesher::to_vec3<D>(mesh.point(v)));
    }
    arrays.triangles.reserve(mesh.nb_polygons());
    arrays.beside.reserve(mesh.nb_polygons());
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      arrays.triangles.push_back(mesh.triangle_vertices(t));
      arrays.beside.push_back(mesh.triangle_adjacents(t));
    }
    // The model gives each fan of a vertex where the surface touches itself a vertex of
    // its own, all at one unique vertex.
    const index_t slot = input_.component_slot(surfaces_[s]->id());
    for (index_t v = 0; v < mesh.nb_vertices() && slot != NO_ID; ++v) {
      const index_t unique = input_.unique_vertex(slot, v);
      if (unique == NO_ID || input_.held_alone(slot, v)) continue;
      index_t copies = 0;
      input_.for_each_vertex_in_slot(unique, slot, [&copies](index_t) { ++copies; });
      if (copies > 1) arrays.pinched.push_back(v);
    }
    return arrays;
  }

  index_t unique_of(index_t s, index_t vertex) const {
    const index_t slot = input_.component_slot(surfaces_[s]->id());
    return slot == NO_ID ? NO_ID : input_.unique_vertex(slot, vertex);
  }

  // Cuts each surface of a 3-D model along the creases that part it into regions: each
  // region a piece remeshed on its own, each chain of parting creases a line of the
  // remesher's own (after the model's lines) that keeps its ends and sharp turns; a model
  // line keeps the vertices where such a chain meets it. Everything else is one piece.
  void cut_surfaces() {
    // The model lines through each input unique vertex: (line, chain index).
    absl::flat_hash_map<index_t, absl::InlinedVector<std::pair<index_t, index_t>, 2>>
        on_lines;
    for (index_t l = 0; l < lines_.size(); ++l) {
      const auto& unique = lines_data_[l].unique;
      for (index_t k = 0; k < unique.size(); ++k) {
        if (unique[k] != NO_ID) on_lines[unique[k]].push_back({l, k});
      }
    }
    std::vector<SurfaceArrays> arrays(surfaces_.size());
    std::vector<remesher::CreaseCut> cuts(surfaces_.size());
    pinched_.resize(surfaces_.size());
    remesher::for_each_item(
        surfaces_.size(),
        [&](std::size_t s) {
          arrays[s] = arrays_of(index_t(s));
          if (D == 3) cuts[s] = cut(index_t(s), arrays[s], on_lines);
          // Parts that only touch at vertices stay one piece: no crease parts them.
          if (cuts[s].chains.empty()) {
            cuts[s].regions.assign(1, std::vector<index_t>(arrays[s].triangles.size()));
            for (index_t t = 0; t < arrays[s].triangles.size(); ++t) {
              cuts[s].regions[0][t] = t;
            }
          }
        },
        1);
    // The parting chains as lines, numbered in surface order.
    std::vector<index_t> first_crease(surfaces_.size() + 1);
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      first_crease[s] = static_cast<index_t>(lines_data_.size());
      for (const auto& chain : cuts[s].chains) {
        LineData data;
        data.chain = chain.vertices;
        data.closed = chain.closed;
        data.crease_of = s;
        const std::size_t n = data.chain.size();
        data.unique.assign(n, NO_ID);
        data.kept.assign(n, false);
        for (std::size_t k = 0; k < n; ++k) {
          data.chain_points.push_back(arrays[s].points[data.chain[k]]);
          // Where it meets a model line, both keep the vertex; a corner stays.
          const index_t u = unique_of(s, data.chain[k]);
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
    first_crease[surfaces_.size()] = static_cast<index_t>(lines_data_.size());
    // The pieces, and which of them holds each line edge and line vertex.
    std::vector<std::vector<Piece>> pieces(surfaces_.size());
    remesher::for_each_item(
        surfaces_.size(),
        [&](std::size_t s) {
          pieces[s] = make_pieces(index_t(s), arrays[s], std::move(cuts[s].regions),
                                  first_crease[s], first_crease[s + 1]);
          pinched_[s] = std::move(arrays[s].pinched);
          arrays[s] = {};
        },
        1);
    surface_pieces_.resize(surfaces_.size());
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      for (auto& piece : pieces[s]) add_piece(std::move(piece));
    }
  }

  remesher::CreaseCut cut(
      index_t s, const SurfaceArrays& arrays,
      const absl::flat_hash_map<
          index_t, absl::InlinedVector<std::pair<index_t, index_t>, 2>>& on_lines) const {
    // Whether (a, b) is an edge of a model line (a closed chain repeats its first).
    const auto on_line = [&](index_t a, index_t b) {
      const auto found_a = on_lines.find(unique_of(s, a));
      const auto found_b = on_lines.find(unique_of(s, b));
      if (found_a == on_lines.end() || found_b == on_lines.end()) return false;
      for (const auto& [line, k] : found_a->second) {
        for (const auto& [other, j] : found_b->second) {
          if (other == line && (j == k + 1 || k == j + 1)) return true;
        }
      }
      return false;
    };
    // Where the surface touches itself, each chain through there ends: it stays.
    const auto is_stop = [&](index_t v) {
      const index_t u = unique_of(s, v);
      return (u != NO_ID && (on_lines.contains(u) || is_corner(u))) ||
             std::binary_search(arrays.pinched.begin(), arrays.pinched.end(), v);
    };
    return remesher::cut_at_creases(arrays.points, arrays.triangles, arrays.beside,
                                    options_.feature_angle * M_PI / 180, on_line,
                                    is_stop);
  }

  // The pieces of surface s, one per region; lines [first_crease, end_crease) part them.
  // Each piece lists the line edges and line vertices it holds, in its own numbers: the
  // parting lines first, then the model's, so that where a crease ends on a model line
  // the model line's tie stands, the same in every piece.
  std::vector<Piece> make_pieces(index_t s, const SurfaceArrays& arrays,
                                 std::vector<std::vector<index_t>> regions,
                                 index_t first_crease, index_t end_crease) const {
    std::vector<Piece> pieces;
    for (auto& mesh : remesher::split_into_pieces(arrays.points, arrays.triangles,
                                                  arrays.beside, std::move(regions))) {
      pieces.push_back({s, std::move(mesh), {}, {}, {}, true});
    }
    std::vector<index_t> region_of(arrays.triangles.size());
    for (index_t r = 0; r < pieces.size(); ++r) {
      for (const index_t t : pieces[r].mesh.triangles) region_of[t] = r;
    }
    const auto& surface = *surfaces_[s];
    const index_t slot = input_.component_slot(surface.id());
    // The surface's copies of vertex k of model line l.
    const auto surface_vertices = [&](index_t l, index_t k) {
      absl::InlinedVector<index_t, 2> found;
      const index_t unique = lines_data_[l].unique[k];
      if (slot != NO_ID && unique != NO_ID) {
        input_.for_each_vertex_in_slot(unique, slot,
                                       [&found](index_t v) { found.push_back(v); });
      }
      return found;
    };
    const auto model_lines = [&](const auto& visit) {
      for (const auto& related :
           {input_.boundaries(surface.id()), input_.internals(surface.id())}) {
        for (const auto& component : related) {
          if (component.type == ComponentType::line) visit(component);
        }
      }
    };
    // Each line edge's first triangle, and its place in it: only edges between line
    // vertices are looked up.
    std::vector<bool> on_line(arrays.points.size(), false);
    for (index_t l = first_crease; l < end_crease; ++l) {
      for (const index_t v : lines_data_[l].chain) on_line[v] = true;
    }
    model_lines([&](const karvel::ComponentID& component) {
      const index_t l = line_index_.at(component.id);
      for (index_t k = 0; k < lines_data_[l].chain.size(); ++k) {
        for (const index_t v : surface_vertices(l, k)) on_line[v] = true;
      }
    });
    absl::flat_hash_map<std::uint64_t, std::pair<index_t, int>> edge_triangle;
    for (index_t t = 0; t < arrays.triangles.size(); ++t) {
      const auto& v = arrays.triangles[t];
      for (int e = 0; e < 3; ++e) {
        const index_t a = v[e], b = v[(e + 1) % 3];
        if (on_line[a] && on_line[b]) edge_triangle.try_emplace(edge_key(a, b), t, e);
      }
    }
    // The pieces around each vertex, where there are several.
    std::vector<absl::InlinedVector<index_t, 2>> vertex_pieces;
    if (pieces.size() > 1) {
      vertex_pieces.resize(arrays.points.size());
      for (index_t r = 0; r < pieces.size(); ++r) {
        for (const index_t v : pieces[r].mesh.vertices) vertex_pieces[v].push_back(r);
      }
    }
    const auto local = [&](index_t r, index_t v) {
      const auto& vertices = pieces[r].mesh.vertices;
      return static_cast<index_t>(std::lower_bound(vertices.begin(), vertices.end(), v) -
                                  vertices.begin());
    };
    for (const index_t v : arrays.pinched) {
      if (pieces.size() == 1) {
        pieces[0].fixed_vertices.push_back(local(0, v));
        continue;
      }
      for (const index_t r : vertex_pieces[v])
        pieces[r].fixed_vertices.push_back(local(r, v));
    }
    const auto add_edge = [&](index_t r, index_t from, index_t to, index_t l, index_t k) {
      pieces[r].line_edges.push_back({local(r, from), local(r, to), l, k});
      pieces[r].line_vertices.push_back({local(r, from), l, k});
      pieces[r].line_vertices.push_back({local(r, to), l, k + 1});
    };
    // Every piece that holds it, when the pieces can touch a line at a vertex alone.
    const auto add_vertex = [&](index_t v, index_t l, index_t k) {
      for (const index_t r : vertex_pieces[v])
        pieces[r].line_vertices.push_back({local(r, v), l, k});
    };
    for (index_t l = first_crease; l < end_crease; ++l) {
      const auto& chain = lines_data_[l].chain;
      for (index_t k = 0; k + 1 < chain.size(); ++k) {
        const auto [t, e] = edge_triangle.at(edge_key(chain[k], chain[k + 1]));
        add_edge(region_of[t], chain[k], chain[k + 1], l, k);
        add_edge(region_of[arrays.beside[t][e]], chain[k], chain[k + 1], l, k);
      }
      for (index_t k = 0; k < chain.size(); ++k) add_vertex(chain[k], l, k);
    }
    model_lines([&](const karvel::ComponentID& component) {
      const index_t l = line_index_.at(component.id);
      const auto& chain = lines_data_[l].chain;
      for (index_t k = 0; k + 1 < chain.size(); ++k) {
        const std::pair<index_t, int>* held = nullptr;
        index_t from = NO_ID, to = NO_ID;
        for (const index_t a : surface_vertices(l, k)) {
          for (const index_t b : surface_vertices(l, k + 1)) {
            const auto found = edge_triangle.find(edge_key(a, b));
            if (!held && found != edge_triangle.end()) {
              held = &found->second;
              from = a;
              to = b;
            }
          }
        }
        if (!held) {
          throw karvel::KarvelException{"[remesh] Line " + component.id.string() +
                                        " has an edge that surface " +
                                        surface.id().string() + " does not hold"};
        }
        add_edge(region_of[held->first], from, to, l, k);
      }
      if (pieces.size() == 1) return;
      for (index_t k = 0; k < chain.size(); ++k) {
        for (const index_t v : surface_vertices(l, k)) add_vertex(v, l, k);
      }
    });
    return pieces;
  }

  void add_piece(Piece piece) {
    const auto p = static_cast<index_t>(pieces_.size());
    surface_pieces_[piece.surface].push_back(p);
    line_pieces_.resize(lines_data_.size());
    for (const auto& held : piece.line_vertices) {
      auto& list = line_pieces_[held.line];
      if (list.empty() || list.back() != p) list.push_back(p);
    }
    pieces_.push_back(std::move(piece));
  }

  // A piece's input: its triangles (a neighbour in another piece is across its border),
  // the edges of lines it holds with the lines' new vertices, and its line vertices.
  remesher::SurfaceInput piece_input(index_t p) const {
    const Piece& piece = pieces_[p];
    remesher::SurfaceInput in;
    in.points = piece.mesh.points;
    in.triangles = piece.mesh.corners;
    in.beside = piece.mesh.beside;
    absl::flat_hash_map<index_t, Tie> ties;
    for (const auto& held : piece.line_vertices) {
      const index_t point = lines_data_[held.line].points.of_chain_vertex[held.k];
      const Tie tie = point != NO_ID ? Tie{Tie::line_point, held.line, point}
                                     : Tie{Tie::kept_line_vertex, held.line, held.k};
      auto [place, added] = ties.emplace(held.vertex, tie);
      // A vertex that one line keeps stays, whatever another says.
      if (!added && tie.kind == Tie::line_point) place->second = tie;
    }
    for (const auto& edge : piece.line_edges) {
      std::vector<std::pair<double, Tie>> inside;
      for (const auto& [t, point] : lines_data_[edge.line].points.inside_edge[edge.k]) {
        inside.push_back({t, Tie{Tie::line_point, edge.line, point}});
      }
      in.line_edges.push_back({edge.from, edge.to, edge.line, std::move(inside)});
    }
    in.fixed_vertices = piece.fixed_vertices;
    in.line_vertices.assign(ties.begin(), ties.end());
    std::sort(in.line_vertices.begin(), in.line_vertices.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return in;
  }

  // Remeshes piece p on its own, into results_[p] (and origins_[p]: its surface's
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
        origins[t] = pieces_[p].mesh.triangles[guess];
      }
    }
  }

  void remesh_pieces(std::vector<index_t> todo, Clock::time_point start) {
    // The largest pieces first, so that the last ones to end are small; batches big
    // enough to keep every worker busy, few enough for progress, which counts the
    // surfaces whose pieces are all done.
    std::stable_sort(todo.begin(), todo.end(), [this](index_t a, index_t b) {
      return pieces_[a].mesh.triangles.size() > pieces_[b].mesh.triangles.size();
    });
    absl::flat_hash_map<index_t, std::size_t> left;  // pieces to do, by surface
    for (const index_t p : todo) ++left[pieces_[p].surface];
    const std::size_t surfaces = left.size();
    std::size_t surfaces_done = 0;
    const std::size_t workers = std::size_t(tbb::this_task_arena::max_concurrency());
    const std::size_t batch = std::max<std::size_t>(4 * workers, todo.size() / 8);
    for (std::size_t first = 0; first < todo.size(); first += batch) {
      const std::size_t last = std::min(todo.size(), first + batch);
      // A failure waits for the batch; of several, the first in the batch's order wins.
      remesher::for_each_item(
          last - first, [&](std::size_t i) { remesh_piece(todo[first + i]); }, 1);
      for (std::size_t i = first; i < last; ++i) {
        if (--left[pieces_[todo[i]].surface] == 0) ++surfaces_done;
      }
      if (options_.progress &&
          !options_.progress({surfaces_done, surfaces, seconds_since(start)})) {
        throw RemeshStopped{"remesh: stopped by the progress callback"};
      }
    }
  }

  // The pieces to do again: those of the lines that must keep a vertex some piece kept.
  // With `keep_all`, those lines keep every input vertex.
  std::vector<index_t> pieces_to_redo(bool keep_all) {
    absl::flat_hash_set<index_t> changed_lines;
    for (const auto& result : results_) {
      for (const auto& tie : result.ties) {
        if (tie.kind != Tie::kept_line_vertex) continue;
        auto& data = lines_data_[tie.line];
        // The report counts the model's lines; a parting crease is the remesher's own.
        if (!data.kept[tie.index] && tie.line < lines_.size())
          ++report_.line_vertices_kept;
        data.kept[tie.index] = true;
        changed_lines.insert(tie.line);
      }
    }
    std::vector<index_t> redo;
    for (const index_t l : changed_lines) {
      auto& data = lines_data_[l];
      if (keep_all) data.kept.assign(data.kept.size(), true);
      resample_line(l);
      for (const index_t p : line_pieces_[l]) {
        if (pieces_[p].live) redo.push_back(p);
      }
    }
    std::sort(redo.begin(), redo.end());
    redo.erase(std::unique(redo.begin(), redo.end()), redo.end());
    return redo;
  }

  // Joins the pieces of each surface of several; a surface whose pieces clash is made
  // one piece again, and its new piece is returned to be remeshed.
  std::vector<index_t> join_surfaces() {
    joined_.resize(surfaces_.size());
    // One byte each: the surfaces are joined side by side.
    std::vector<char> clash(surfaces_.size(), 0);
    remesher::for_each_item(
        surfaces_.size(),
        [&](std::size_t s) {
          const auto& pieces = surface_pieces_[s];
          if (pieces.size() < 2) return;
          std::vector<remesher::RemeshedPiece> remeshed;
          for (const index_t p : pieces) {
            remeshed.push_back({results_[p], pieces_[p].mesh.vertices});
          }
          auto joined =
              remesher::join_pieces(remeshed, static_cast<index_t>(lines_.size()),
                                    [this](index_t line, index_t point) -> const Vec3& {
                                      return lines_data_[line].points.positions[point];
                                    });
          if (joined) {
            joined_[s] = std::move(*joined);
          } else {
            clash[s] = 1;
          }
        },
        1);
    std::vector<index_t> redo;
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      if (!clash[s]) continue;
      for (const index_t p : surface_pieces_[s]) {
        pieces_[p].live = false;
        results_[p] = {};
        origins_[p] = {};
      }
      surface_pieces_[s].clear();
      const auto arrays = arrays_of(s);
      std::vector<index_t> all(arrays.triangles.size());
      for (index_t t = 0; t < all.size(); ++t) all[t] = t;
      auto pieces = make_pieces(s, arrays, {std::move(all)}, 0, 0);
      redo.push_back(static_cast<index_t>(pieces_.size()));
      add_piece(std::move(pieces[0]));
    }
    results_.resize(pieces_.size());
    origins_.resize(pieces_.size());
    return redo;
  }

  // What surface s became: its piece's result, or its pieces joined.
  const remesher::SurfaceOutput& surface_result(index_t s) const {
    const auto& pieces = surface_pieces_[s];
    return pieces.size() == 1 ? results_[pieces[0]] : joined_[s];
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
    absl::flat_hash_map<index_t, index_t> pinch_unique;  // input unique -> output unique
    for (index_t s = 0; s < surfaces_.size(); ++s) {
      const auto& result = surface_result(s);
      const karvel::uuid out =
          mapping_.at(ComponentType::surface).in2out(surfaces_[s]->id());
      auto mesh = builder.triangulated_surface_builder(out);
      const index_t out_slot = builder.component_slot({ComponentType::surface, out});
      // Where the surface touches itself, its vertices there share their unique vertex.
      const auto& pinched = pinched_[s];
      const auto pinch_of = [&](index_t v) {
        index_t input = result.input_vertices[v];
        if (pinched.empty() || input == NO_ID) return NO_ID;
        // A piece's result counts in the piece's vertices, a joined one in the surface's.
        if (surface_pieces_[s].size() == 1) {
          input = pieces_[surface_pieces_[s][0]].mesh.vertices[input];
        }
        return std::binary_search(pinched.begin(), pinched.end(), input)
                   ? unique_of(s, input)
                   : NO_ID;
      };
      index_t own = 0;
      for (index_t v = 0; v < result.points.size(); ++v) {
        own += result.ties[v].kind != Tie::line_point && pinch_of(v) == NO_ID ? 1 : 0;
      }
      index_t next_own = own > 0 ? builder.create_unique_vertices(own) : NO_ID;
      mesh.reserve(static_cast<index_t>(result.points.size()),
                   static_cast<index_t>(result.triangles.size()));
      for (index_t v = 0; v < result.points.size(); ++v) {
        const auto& tie = result.ties[v];
        if (tie.kind == Tie::line_point) {
          // The line's own coordinates: one point per unique vertex, bit for bit.
          mesh.create_point(
              remesher::to_point<D>(lines_data_[tie.line].points.positions[tie.index]));
          builder.set_unique_vertex(out_slot, v, point_unique[tie.line][tie.index]);
          continue;
        }
        mesh.create_point(remesher::to_point<D>(result.points[v]));
        const index_t pinch = pinch_of(v);
        if (pinch == NO_ID) {
          builder.set_unique_vertex(out_slot, v, next_own++);
          continue;
        }
        auto [place, added] = pinch_unique.try_emplace(pinch, NO_ID);
        if (added) place->second = builder.create_unique_vertex();
        builder.set_unique_vertex(out_slot, v, place->second);
      }
      for (const auto& triangle : result.triangles) mesh.create_triangle(triangle);
      meshes.push_back(mesh);
      if (options_.record_origins) {
        auto& origins = report_.origins[out];
        for (const index_t p : surface_pieces_[s]) {
          origins.insert(origins.end(), origins_[p].begin(), origins_[p].end());
        }
      }
    }
    // Each mesh is linked on its own: side by side, a failure the first in surface order.
    remesher::for_each_item(
        meshes.size(), [&](std::size_t s) { meshes[s].compute_triangle_adjacencies(); },
        1);
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
  std::vector<LineData> lines_data_;  // the model's lines, then the parting creases'
  std::vector<Piece> pieces_;
  std::vector<std::vector<index_t>> surface_pieces_;  // each surface's, in order
  std::vector<std::vector<index_t>> line_pieces_;     // the pieces that hold each line
  std::vector<remesher::SurfaceOutput> results_;      // by piece
  std::vector<std::vector<index_t>> origins_;         // by piece
  std::vector<remesher::SurfaceOutput> joined_;       // by surface of several pieces
  // Each surface's vertices where it touches itself, increasing: they stay, and each
  // point of them stays one unique vertex.
  std::vector<std::vector<index_t>> pinched_;
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
