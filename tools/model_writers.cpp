#include "model_writers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <new>
#include <string>

#include <zlib.h>

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

// Bytes handed on in order; what an array emits.
using Sink = std::function<void(const void*, std::size_t)>;

// One array of the appended block: its XML attributes, its size, and a function that
// emits its bytes.
struct AppendedArray {
  std::string type;
  std::string name;
  int components;
  std::uint64_t bytes;
  std::function<void(const Sink&)> emit;
};

std::string data_array(const AppendedArray& array, std::uint64_t offset) {
  std::string xml = "<DataArray type=\"" + array.type + "\"";
  if (!array.name.empty()) xml += " Name=\"" + array.name + "\"";
  if (array.components > 1)
    xml += " NumberOfComponents=\"" + std::to_string(array.components) + "\"";
  return xml + " format=\"appended\" offset=\"" + std::to_string(offset) + "\"/>\n";
}

// An array compressed as VTK's zlib compressor writes it: blocks of 1 MiB, each
// compressed on its own; a header of the block count, the block size, the last block's
// size and each block's compressed size (UInt64), then the blocks.
class CompressedArray {
 public:
  static constexpr std::size_t block_bytes = std::size_t{1} << 20;

  explicit CompressedArray(const AppendedArray& array) {
    raw_.reserve(block_bytes);
    array.emit([this](const void* data, std::size_t size) {
      const auto* bytes = static_cast<const unsigned char*>(data);
      while (size > 0) {
        const std::size_t taken = std::min(size, block_bytes - raw_.size());
        raw_.insert(raw_.end(), bytes, bytes + taken);
        bytes += taken;
        size -= taken;
        if (raw_.size() == block_bytes) compress_block();
      }
    });
    last_ = raw_.empty() && !sizes_.empty() ? block_bytes : raw_.size();
    if (!raw_.empty()) compress_block();
    std::vector<unsigned char>{}.swap(raw_);
  }
  std::uint64_t size() const { return 8 * (3 + sizes_.size()) + data_.size(); }
  void write(TextWriter& out) const {
    const std::uint64_t header[3] = {sizes_.size(), block_bytes, last_};
    out.bytes(header, sizeof(header));
    out.bytes(sizes_.data(), 8 * sizes_.size());
    out.bytes(data_.data(), data_.size());
  }

 private:
  void compress_block() {
    uLongf size = compressBound(static_cast<uLong>(raw_.size()));
    const std::size_t at = data_.size();
    data_.resize(at + size);
    if (compress2(data_.data() + at, &size, raw_.data(), static_cast<uLong>(raw_.size()),
                  Z_BEST_SPEED) != Z_OK) {
      throw std::bad_alloc{};
    }
    data_.resize(at + size);
    sizes_.push_back(size);
    raw_.clear();
  }

  std::vector<unsigned char> raw_;
  std::vector<unsigned char> data_;
  std::vector<std::uint64_t> sizes_;
  std::uint64_t last_{0};
};

template <typename T>
void put(const Sink& sink, T value) {
  sink(&value, sizeof(value));
}

}  // namespace

template <typename Model>
void write_vtp(const Model& model, const Origins* origins, bool compress,
               TextWriter& out) {
  const ModelNumbering<Model> numbering{model};
  const auto& surfaces = numbering.surfaces();
  const std::uint64_t nb_points = numbering.nb_points();
  const std::uint64_t nb_triangles = numbering.nb_triangles();
  // 32-bit connectivity while every index fits.
  const bool wide = 3 * nb_triangles >= (std::uint64_t{1} << 31);
  const std::string index_type = wide ? "Int64" : "Int32";
  const std::uint64_t index_bytes = wide ? 8 : 4;
  const auto put_index = [wide](const Sink& sink, std::uint64_t value) {
    if (wide) {
      put(sink, static_cast<std::int64_t>(value));
    } else {
      put(sink, static_cast<std::int32_t>(value));
    }
  };
  const AppendedArray points{"Float64", "", 3, 24 * nb_points, [&](const Sink& sink) {
                               for (index_t p = 0; p < nb_points; ++p) {
                                 for (const double value : numbering.point(p))
                                   put(sink, value);
                               }
                             }};
  const AppendedArray surface{
      "Int32", "surface", 1, 4 * nb_triangles, [&](const Sink& sink) {
        for (index_t s = 0; s < surfaces.size(); ++s) {
          for (index_t t = 0; t < surfaces[s].mesh->nb_polygons(); ++t)
            put(sink, std::int32_t(s));
        }
      }};
  const AppendedArray origin{
      "UInt32", "origin", 1, 4 * nb_triangles, [&](const Sink& sink) {
        for (const auto& s : surfaces) {
          const auto found = origins->find(s.surface->id());
          for (index_t t = 0; t < s.mesh->nb_polygons(); ++t) {
            const bool known = found != origins->end() && t < found->second.size();
            put(sink,
                known ? std::uint32_t{found->second[t]} : std::uint32_t{karvel::NO_ID});
          }
        }
      }};
  const AppendedArray connectivity{
      index_type, "connectivity", 1, 3 * index_bytes * nb_triangles,
      [&](const Sink& sink) {
        for (index_t s = 0; s < surfaces.size(); ++s) {
          for (index_t t = 0; t < surfaces[s].mesh->nb_polygons(); ++t) {
            for (const index_t v : surfaces[s].mesh->triangle_vertices(t))
              put_index(sink, numbering.number(s, v));
          }
        }
      }};
  const AppendedArray offsets{index_type, "offsets", 1, index_bytes * nb_triangles,
                              [&](const Sink& sink) {
                                for (std::uint64_t t = 1; t <= nb_triangles; ++t)
                                  put_index(sink, 3 * t);
                              }};
  std::vector<const AppendedArray*> arrays{&points, &surface};
  if (origins) arrays.push_back(&origin);
  arrays.push_back(&connectivity);
  arrays.push_back(&offsets);
  // Compressed, every array is ready before the header, which gives their offsets.
  std::vector<CompressedArray> compressed;
  if (compress) {
    for (const auto* array : arrays) compressed.emplace_back(*array);
  }
  std::vector<std::uint64_t> array_offsets;
  std::uint64_t offset = 0;
  for (std::size_t i = 0; i < arrays.size(); ++i) {
    array_offsets.push_back(offset);
    offset += compress ? compressed[i].size() : 8 + arrays[i]->bytes;
  }
  out << "<?xml version=\"1.0\"?>\n"
         "<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\" "
         "header_type=\"UInt64\""
      << (compress ? " compressor=\"vtkZLibDataCompressor\"" : "")
      << ">\n<PolyData>\n<Piece NumberOfPoints=\"" << nb_points << "\" NumberOfPolys=\""
      << nb_triangles << "\">\n<Points>\n"
      << data_array(points, array_offsets[0])
      << "</Points>\n<CellData Scalars=\"surface\">\n";
  std::size_t next = 1;
  out << data_array(surface, array_offsets[next++]);
  if (origins) out << data_array(origin, array_offsets[next++]);
  out << "</CellData>\n<Polys>\n" << data_array(connectivity, array_offsets[next++]);
  out << data_array(offsets, array_offsets[next++])
      << "</Polys>\n</Piece>\n</PolyData>\n<AppendedData encoding=\"raw\">\n_";
  const Sink to_out = [&out](const void* data, std::size_t size) {
    out.bytes(data, size);
  };
  for (std::size_t i = 0; i < arrays.size(); ++i) {
    if (compress) {
      compressed[i].write(out);
    } else {
      put(to_out, arrays[i]->bytes);
      arrays[i]->emit(to_out);
    }
  }
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
template void write_vtp(const karvel::BRep&, const Origins*, bool, TextWriter&);
template void write_vtp(const karvel::Section&, const Origins*, bool, TextWriter&);
template void write_tsurf(const karvel::BRep&, TextWriter&);
template void write_tsurf(const karvel::Section&, TextWriter&);
template void write_msh(const karvel::BRep&, TextWriter&);
template void write_msh(const karvel::Section&, TextWriter&);

}  // namespace vemra::tool
