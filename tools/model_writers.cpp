#include "model_writers.h"

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

template void write_obj(const karvel::BRep&, TextWriter&);
template void write_obj(const karvel::Section&, TextWriter&);
template void write_vtp(const karvel::BRep&, const Origins*, TextWriter&);
template void write_vtp(const karvel::Section&, const Origins*, TextWriter&);

}  // namespace vemra::tool
