#include "model_writers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include <karvel/model/brep.h>
#include <karvel/model/section.h>

#include "model_numbering.h"

namespace vemra::tool {

template <typename Model>
void write_obj(const Model& model, TextWriter& out) {
  const ModelNumbering<Model> numbering{model};
  out << "# written by vemra-refine\n";
  for (index_t p = 0; p < numbering.nb_points(); ++p) {
    const auto xyz = numbering.point(p);
    out << "v " << xyz[0] << ' ' << xyz[1] << ' ' << xyz[2] << '\n';
  }
  for (index_t s = 0; s < numbering.surfaces().size(); ++s) {
    const auto& surface = numbering.surfaces()[s];
    const auto& name = surface.surface->name();
    out << "g " << (name.empty() ? surface.surface->id().string() : name) << '\n';
    for (index_t t = 0; t < surface.mesh->nb_polygons(); ++t) {
      out << 'f';
      for (const index_t v : surface.mesh->triangle_vertices(t)) {
        out << ' ' << std::uint64_t{numbering.number(s, v)} + 1;
      }
      out << '\n';
    }
  }
}

namespace {

// One array of the appended block: its XML header now, its bytes later, in the same
// order.
struct AppendedArray {
  std::string type;
  std::string name;
  int components;
  std::uint64_t bytes;
};

std::string data_array(const AppendedArray& array, std::uint64_t offset) {
  std::string xml = "<DataArray type=\"" + array.type + "\"";
  if (!array.name.empty()) xml += " Name=\"" + array.name + "\"";
  if (array.components > 1)
    xml += " NumberOfComponents=\"" + std::to_string(array.components) + "\"";
  return xml + " format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>\n";
}

template <typename T>
void put(TextWriter& out, T value) {
  out.bytes(&value, sizeof(value));
}

}  // namespace

template <typename Model>
void write_vtp(const Model& model, const Origins* origins, TextWriter& out) {
  const ModelNumbering<Model> numbering{model};
  const std::uint64_t nb_points = numbering.nb_points();
  const std::uint64_t nb_triangles = numbering.nb_triangles();
  // 32-bit connectivity while every index fits.
  const bool wide = 3 * nb_triangles >= (std::uint64_t{1} << 31);
  const std::string index_type = wide ? "Int64" : "Int32";
  const int index_bytes = wide ? 8 : 4;
  const AppendedArray points{"Float64", "", 3, 24 * nb_points};
  const AppendedArray surface{"Int32", "surface", 1, 4 * nb_triangles};
  const AppendedArray origin{"UInt32", "origin", 1, 4 * nb_triangles};
  const AppendedArray connectivity{index_type, "connectivity", 1,
                                   3 * index_bytes * nb_triangles};
  const AppendedArray offsets{index_type, "offsets", 1, index_bytes * nb_triangles};
  // Each array in the block is its size (UInt64), then its bytes.
  std::uint64_t offset = 0;
  const auto next = [&offset](const AppendedArray& array) {
    const std::uint64_t at = offset;
    offset += 8 + array.bytes;
    return at;
  };
  out << "<?xml version=\"1.0\"?>\n"
         "<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\" "
         "header_type=\"UInt64\">\n<PolyData>\n<Piece NumberOfPoints=\""
      << nb_points << "\" NumberOfPolys=\"" << nb_triangles << "\">\n<Points>\n"
      << data_array(points, next(points)) << "</Points>\n<CellData Scalars=\"surface\">\n"
      << data_array(surface, next(surface));
  if (origins) out << data_array(origin, next(origin));
  out << "</CellData>\n<Polys>\n"
      << data_array(connectivity, next(connectivity))
      << data_array(offsets, next(offsets))
      << "</Polys>\n</Piece>\n</PolyData>\n<AppendedData encoding=\"raw\">\n_";
  const auto& surfaces = numbering.surfaces();
  put(out, points.bytes);
  for (index_t p = 0; p < nb_points; ++p) {
    for (const double value : numbering.point(p)) put(out, value);
  }
  put(out, surface.bytes);
  for (index_t s = 0; s < surfaces.size(); ++s) {
    for (index_t t = 0; t < surfaces[s].mesh->nb_polygons(); ++t)
      put(out, std::int32_t(s));
  }
  if (origins) {
    put(out, origin.bytes);
    for (const auto& s : surfaces) {
      const auto found = origins->find(s.surface->id());
      for (index_t t = 0; t < s.mesh->nb_polygons(); ++t) {
        const bool known = found != origins->end() && t < found->second.size();
        put(out, known ? std::uint32_t{found->second[t]} : std::uint32_t{karvel::NO_ID});
      }
    }
  }
  const auto put_index = [&out, wide](std::uint64_t value) {
    if (wide) {
      put(out, static_cast<std::int64_t>(value));
    } else {
      put(out, static_cast<std::int32_t>(value));
    }
  };
  put(out, connectivity.bytes);
  for (index_t s = 0; s < surfaces.size(); ++s) {
    for (index_t t = 0; t < surfaces[s].mesh->nb_polygons(); ++t) {
      for (const index_t v : surfaces[s].mesh->triangle_vertices(t))
        put_index(numbering.number(s, v));
    }
  }
  put(out, offsets.bytes);
  for (std::uint64_t t = 1; t <= nb_triangles; ++t) put_index(3 * t);
  out << "\n</AppendedData>\n</VTKFile>\n";
}

template <typename Model>
void write_tsurf(const Model& model, TextWriter& out) {
  constexpr index_t D = Model::dim;
  for (const auto& surface : model.surfaces()) {
    const auto* mesh =
        dynamic_cast<const karvel::TriangulatedSurface<D>*>(&surface.get_mesh());
    if (!mesh) continue;
    out << "GOCAD TSurf 1\nHEADER {\nname:"
        << (surface.name().empty() ? surface.id().string() : surface.name())
        << "\n}\nGOCAD_ORIGINAL_COORDINATE_SYSTEM\nNAME Default\nAXIS_NAME \"X\" \"Y\" "
           "\"Z\"\n"
           "ZPOSITIVE Elevation\nEND_ORIGINAL_COORDINATE_SYSTEM\nTFACE\n";
    for (index_t v = 0; v < mesh->nb_vertices(); ++v) {
      const auto& p = mesh->point(v);
      out << "VRTX " << std::uint64_t{v} + 1 << ' ' << p.value(0) << ' ' << p.value(1)
          << ' ' << (D == 3 ? p.value(D - 1) : 0.0) << '\n';
    }
    for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
      out << "TRGL";
      for (const index_t v : mesh->triangle_vertices(t))
        out << ' ' << std::uint64_t{v} + 1;
      out << '\n';
    }
    out << "END\n";
  }
}

template <typename Model>
void write_msh(const Model& model, TextWriter& out) {
  const ModelNumbering<Model> numbering{model};
  const auto& surfaces = numbering.surfaces();
  std::vector<const karvel::Line<Model::dim>*> lines;
  std::uint64_t nb_line_edges = 0;
  for (const auto& line : model.lines()) {
    lines.push_back(&line);
    nb_line_edges += line.mesh().nb_edges();
  }
  const auto name_of = [](const auto& component) {
    return component.name().empty() ? component.id().string() : component.name();
  };
  out << "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$PhysicalNames\n"
      << std::uint64_t{surfaces.size() + lines.size()} << '\n';
  for (std::size_t s = 0; s < surfaces.size(); ++s) {
    out << "2 " << std::uint64_t{s + 1} << " \"" << name_of(*surfaces[s].surface)
        << "\"\n";
  }
  for (std::size_t l = 0; l < lines.size(); ++l) {
    out << "1 " << std::uint64_t{l + 1} << " \"" << name_of(*lines[l]) << "\"\n";
  }
  // Entities: each curve and surface with its bounding box and its physical tag.
  out << "$EndPhysicalNames\n$Entities\n0 " << std::uint64_t{lines.size()} << ' '
      << std::uint64_t{surfaces.size()} << " 0\n";
  const auto box = [&out](const auto& mesh) {
    std::array<double, 3> low{HUGE_VAL, HUGE_VAL, HUGE_VAL},
        high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
      for (index_t axis = 0; axis < Model::dim; ++axis) {
        low[axis] = std::min(low[axis], mesh.point(v).value(axis));
        high[axis] = std::max(high[axis], mesh.point(v).value(axis));
      }
    }
    if (Model::dim == 2) low[2] = high[2] = 0;
    if (mesh.nb_vertices() == 0) low = high = {0, 0, 0};
    out << low[0] << ' ' << low[1] << ' ' << low[2] << ' ' << high[0] << ' ' << high[1]
        << ' ' << high[2];
  };
  for (std::size_t l = 0; l < lines.size(); ++l) {
    out << std::uint64_t{l + 1} << ' ';
    box(lines[l]->mesh());
    out << " 1 " << std::uint64_t{l + 1} << " 0\n";
  }
  for (std::size_t s = 0; s < surfaces.size(); ++s) {
    out << std::uint64_t{s + 1} << ' ';
    box(*surfaces[s].mesh);
    out << " 1 " << std::uint64_t{s + 1} << " 0\n";
  }
  // Nodes: every point in the block of the surface it was numbered with.
  out << "$EndEntities\n$Nodes\n"
      << std::uint64_t{surfaces.size()} << ' ' << std::uint64_t{numbering.nb_points()}
      << " 1 " << std::uint64_t{numbering.nb_points()} << '\n';
  for (std::size_t s = 0; s < surfaces.size(); ++s) {
    const auto range = numbering.numbered_with(index_t(s));
    out << "2 " << std::uint64_t{s + 1} << " 0 " << std::uint64_t{range[1] - range[0]}
        << '\n';
    for (index_t p = range[0]; p < range[1]; ++p) out << std::uint64_t{p} + 1 << '\n';
    for (index_t p = range[0]; p < range[1]; ++p) {
      const auto xyz = numbering.point(p);
      out << xyz[0] << ' ' << xyz[1] << ' ' << xyz[2] << '\n';
    }
  }
  // Elements: 3-node triangles per surface, then 2-node lines per curve.
  const std::uint64_t nb_elements = numbering.nb_triangles() + nb_line_edges;
  out << "$EndNodes\n$Elements\n"
      << std::uint64_t{surfaces.size() + lines.size()} << ' ' << nb_elements << " 1 "
      << nb_elements << '\n';
  std::uint64_t element = 0;
  for (std::size_t s = 0; s < surfaces.size(); ++s) {
    const auto& mesh = *surfaces[s].mesh;
    out << "2 " << std::uint64_t{s + 1} << " 2 " << std::uint64_t{mesh.nb_polygons()}
        << '\n';
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      out << ++element;
      for (const index_t v : mesh.triangle_vertices(t)) {
        out << ' ' << std::uint64_t{numbering.number(index_t(s), v)} + 1;
      }
      out << '\n';
    }
  }
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const auto& mesh = lines[l]->mesh();
    const index_t slot = model.component_slot(lines[l]->id());
    out << "1 " << std::uint64_t{l + 1} << " 1 " << std::uint64_t{mesh.nb_edges()}
        << '\n';
    for (index_t e = 0; e < mesh.nb_edges(); ++e) {
      out << ++element;
      for (const index_t v : mesh.edge_vertices(e)) {
        const index_t number = numbering.number_of_unique(model.unique_vertex(slot, v));
        out << ' '
            << (number == karvel::NO_ID ? std::uint64_t{0} : std::uint64_t{number} + 1);
      }
      out << '\n';
    }
  }
  out << "$EndElements\n";
}

template void write_obj(const karvel::BRep&, TextWriter&);
template void write_obj(const karvel::Section&, TextWriter&);
template void write_vtp(const karvel::BRep&, const Origins*, TextWriter&);
template void write_vtp(const karvel::Section&, const Origins*, TextWriter&);
template void write_tsurf(const karvel::BRep&, TextWriter&);
template void write_tsurf(const karvel::Section&, TextWriter&);
template void write_msh(const karvel::BRep&, TextWriter&);
template void write_msh(const karvel::Section&, TextWriter&);

}  // namespace vemra::tool
