// remesh(input, output, metric, options):
//   output: the input's components (meshes emptied) and relationships
//   lines: each one chained; it keeps its corners, its sharp turns and what a surface
//   could
//     not drop in an earlier round, drops input vertices while the edges stay within the
//     size, and bisects the edges that are too long
//   surfaces, in parallel, in batches (progress between them): each one remeshed on its
//     own, its line edges bisected as their lines were
//   a surface that kept an input line vertex: its line keeps it too, and the surfaces of
//     that line are done again (at most two more rounds; the last keeps every vertex of
//     those lines)
//   output meshes and unique vertices: one per corner, per new line vertex, per surface
//     vertex of its own.

#include <vemra/remesh.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include <absl/container/flat_hash_set.h>
#include <tbb/task_arena.h>

#include <karvel/basic/exception.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/mesh/triangulated_surface_builder.h>
#include <vemra/remeshing/model_kind.h>

#include "remesh/closest_point.h"
#include "remesh/line_resampling.h"
#include "remesh/parallel_blocks.h"
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
    for (index_t l = 0; l < lines_.size(); ++l) resample_line(l);
    report_.line_seconds = seconds_since(phase);

    phase = Clock::now();
    results_.resize(surfaces_.size());
    origins_.resize(surfaces_.size());
    std::vector<index_t> todo(surfaces_.size());
    for (index_t s = 0; s < todo.size(); ++s) todo[s] = s;
    for (int round = 0; !todo.empty(); ++round) {
      remesh_surfaces(todo, start);
      todo = surfaces_to_redo(round >= 1);
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
    std::vector<index_t> chain;  // input line vertices in order
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
    const double sharp = std::cos(options_.feature_angle * M_PI / 180);
    for (std::size_t k = 0; k < n; ++k) {
      data.chain_points.push_back(remesher::to_vec3<D>(mesh.point(data.chain[k])));
      data.unique[k] = slot == NO_ID ? NO_ID : input_.unique_vertex(slot, data.chain[k]);
      if (data.unique[k] != NO_ID && is_corner(data.unique[k])) data.kept[k] = true;
    }
    for (std::size_t k = 1; k + 1 < n; ++k) {
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

  // The surface's input, its line edges with the new line vertices.
  remesher::SurfaceInput surface_input(index_t s) const {
    const auto& surface = *surfaces_[s];
    const auto& mesh =
        dynamic_cast<const karvel::TriangulatedSurface<D>&>(surface.get_mesh());
    remesher::SurfaceInput in;
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      in.points.push_back(remesher::to_vec3<D>(mesh.point(v)));
    }
    absl::flat_hash_set<std::uint64_t> edges;
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      const auto v = mesh.triangle_vertices(t);
      in.triangles.push_back(v);
      in.beside.push_back(mesh.triangle_adjacents(t));
      for (int e = 0; e < 3; ++e) edges.insert(edge_key(v[e], v[(e + 1) % 3]));
    }
    const index_t slot = input_.component_slot(surface.id());
    absl::flat_hash_map<index_t, Tie> ties;
    const auto tie_vertex = [&ties](index_t vertex, const Tie& tie) {
      auto [place, added] = ties.emplace(vertex, tie);
      // A vertex that one line keeps stays, whatever another says.
      if (!added && tie.kind == Tie::line_point) place->second = tie;
    };
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
              if (from == NO_ID && edges.contains(edge_key(a, b))) {
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
          std::vector<std::pair<double, Tie>> inside;
          for (const auto& [t, point] : data.points.inside_edge[k]) {
            inside.push_back({t, Tie{Tie::line_point, l, point}});
          }
          in.line_edges.push_back({from, to, l, std::move(inside)});
          for (const auto& [vertex, k_end] : {std::pair{from, k}, std::pair{to, k + 1}}) {
            const index_t point = data.points.of_chain_vertex[k_end];
            tie_vertex(vertex, point != NO_ID ? Tie{Tie::line_point, l, point}
                                              : Tie{Tie::kept_line_vertex, l, k_end});
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

  // Remeshes surface s on its own, into results_[s] (and origins_[s]).
  void remesh_surface(index_t s) {
    const auto in = surface_input(s);
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
    settings.size = [this](const Vec3& p) { return size(p); };
    settings.line_midpoint = [this](index_t line, const Vec3& p) {
      return lines_data_[line].points.find_midpoint(p);
    };
    results_[s] = remesher::remesh_surface(in, settings);
    if (options_.record_origins) {
      // A section's surface gets one for its origins only.
      if (!projector) {
        projector =
            std::make_unique<remesher::ClosestPoint>(in.points, in.triangles, in.beside);
      }
      const auto& out = results_[s];
      auto& origins = origins_[s];
      origins.resize(out.triangles.size());
      index_t guess = NO_ID;
      for (std::size_t t = 0; t < out.triangles.size(); ++t) {
        const auto& v = out.triangles[t];
        const Vec3 centroid =
            (out.points[v[0]] + out.points[v[1]] + out.points[v[2]]) * (1.0 / 3);
        guess = projector->nearest(centroid, guess).triangle;
        origins[t] = guess;
      }
    }
  }

  void remesh_surfaces(std::vector<index_t> todo, Clock::time_point start) {
    // The largest surfaces first, so that the last ones to end are small; batches big
    // enough to keep every worker busy, few enough for progress.
    std::stable_sort(todo.begin(), todo.end(), [this](index_t a, index_t b) {
      return surfaces_[a]->get_mesh().nb_polygons() >
             surfaces_[b]->get_mesh().nb_polygons();
    });
    const std::size_t workers = std::size_t(tbb::this_task_arena::max_concurrency());
    const std::size_t batch = std::max<std::size_t>(4 * workers, todo.size() / 8);
    for (std::size_t first = 0; first < todo.size(); first += batch) {
      const std::size_t last = std::min(todo.size(), first + batch);
      // A failure waits for the batch; of several, the first in the batch's order wins.
      remesher::for_each_item(
          last - first, [&](std::size_t i) { remesh_surface(todo[first + i]); }, 1);
      if (options_.progress &&
          !options_.progress({last, todo.size(), seconds_since(start)})) {
        throw RemeshStopped{"remesh: stopped by the progress callback"};
      }
    }
  }

  // The surfaces to do again: those of the lines that must keep a vertex some surface
  // kept. With `keep_all`, those lines keep every input vertex.
  std::vector<index_t> surfaces_to_redo(bool keep_all) {
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
      if (touched) redo.push_back(s);
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
      const auto& result = results_[s];
      const karvel::uuid out =
          mapping_.at(ComponentType::surface).in2out(surfaces_[s]->id());
      auto mesh = builder.triangulated_surface_builder(out);
      const index_t out_slot = builder.component_slot({ComponentType::surface, out});
      index_t own = 0;
      for (const auto& tie : result.ties) own += tie.kind == Tie::own ? 1 : 0;
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
        } else {
          mesh.create_point(remesher::to_point<D>(result.points[v]));
          builder.set_unique_vertex(out_slot, v, next_own++);
        }
      }
      for (const auto& triangle : result.triangles) mesh.create_triangle(triangle);
      meshes.push_back(mesh);
      if (options_.record_origins) report_.origins[out] = std::move(origins_[s]);
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
  std::vector<LineData> lines_data_;
  std::vector<remesher::SurfaceOutput> results_;
  std::vector<std::vector<index_t>> origins_;
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
