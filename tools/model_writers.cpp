#include "model_writers.h"

#include <cstdio>
#include <vector>

#include <karvel/mesh/triangulated_surface.h>
#include <karvel/model/brep.h>
#include <karvel/model/section.h>

namespace vemra::tool {
namespace {

using karvel::index_t;

// Every point once, numbered by model vertex where there is one; a surface vertex that
// no model vertex ties gets its own number.
template <typename Model>
struct FlatModel {
  explicit FlatModel(const Model& model) {
    std::vector<bool> placed(model.nb_unique_vertices(), false);
    points.resize(model.nb_unique_vertices());
    for (const auto& surface : model.surfaces()) {
      const auto* mesh = dynamic_cast<const karvel::TriangulatedSurface<Model::dim>*>(
          &surface.get_mesh());
      if (!mesh) continue;
      const index_t slot = model.component_slot(surface.id());
      std::vector<index_t> number(mesh->nb_vertices());
      for (index_t v = 0; v < mesh->nb_vertices(); ++v) {
        index_t unique =
            slot == karvel::NO_ID ? karvel::NO_ID : model.unique_vertex(slot, v);
        if (unique == karvel::NO_ID) {
          unique = static_cast<index_t>(points.size());
          points.emplace_back();
          placed.push_back(false);
        }
        if (!placed[unique]) {
          for (index_t axis = 0; axis < Model::dim; ++axis) {
            points[unique][axis] = mesh->point(v).value(axis);
          }
          placed[unique] = true;
        }
        number[v] = unique;
      }
      const auto first = static_cast<index_t>(triangles.size());
      for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
        const auto v = mesh->triangle_vertices(t);
        triangles.push_back({number[v[0]], number[v[1]], number[v[2]]});
        surface_of.push_back(static_cast<index_t>(groups.size()));
      }
      groups.push_back({surface.name().empty() ? surface.id().string() : surface.name(),
                        first, static_cast<index_t>(triangles.size())});
    }
  }
  struct Group {
    std::string name;
    index_t first, end;
  };
  std::vector<std::array<double, 3>> points;
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> surface_of;
  std::vector<Group> groups;
};

void append(std::string& text, const char* format, double a, double b, double c) {
  char line[96];
  const int size = std::snprintf(line, sizeof(line), format, a, b, c);
  text.append(line, static_cast<std::size_t>(size));
}

}  // namespace

template <typename Model>
std::string model_to_obj(const Model& model) {
  const FlatModel<Model> flat{model};
  std::string text = "# written by vemra-refine\n";
  for (const auto& p : flat.points)
    append(text, "v %.17g %.17g %.17g\n", p[0], p[1], p[2]);
  for (const auto& group : flat.groups) {
    text += "g " + group.name + "\n";
    for (index_t t = group.first; t < group.end; ++t) {
      const auto& v = flat.triangles[t];
      text += "f " + std::to_string(v[0] + 1) + " " + std::to_string(v[1] + 1) + " " +
              std::to_string(v[2] + 1) + "\n";
    }
  }
  return text;
}

template <typename Model>
std::string model_to_vtp(const Model& model) {
  const FlatModel<Model> flat{model};
  std::string text =
      "<?xml version=\"1.0\"?>\n"
      "<VTKFile type=\"PolyData\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
      "<PolyData>\n<Piece NumberOfPoints=\"" +
      std::to_string(flat.points.size()) + "\" NumberOfPolys=\"" +
      std::to_string(flat.triangles.size()) +
      "\">\n<Points>\n<DataArray type=\"Float64\" NumberOfComponents=\"3\" "
      "format=\"ascii\">\n";
  for (const auto& p : flat.points) append(text, "%.17g %.17g %.17g\n", p[0], p[1], p[2]);
  text +=
      "</DataArray>\n</Points>\n<CellData Scalars=\"surface\">\n"
      "<DataArray type=\"Int32\" Name=\"surface\" format=\"ascii\">\n";
  for (const index_t surface : flat.surface_of) text += std::to_string(surface) + "\n";
  text +=
      "</DataArray>\n</CellData>\n<Polys>\n"
      "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
  for (const auto& v : flat.triangles) {
    text += std::to_string(v[0]) + " " + std::to_string(v[1]) + " " +
            std::to_string(v[2]) + "\n";
  }
  text += "</DataArray>\n<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
  for (std::size_t t = 1; t <= flat.triangles.size(); ++t)
    text += std::to_string(3 * t) + "\n";
  text += "</DataArray>\n</Polys>\n</Piece>\n</PolyData>\n</VTKFile>\n";
  return text;
}

template std::string model_to_obj(const karvel::BRep&);
template std::string model_to_obj(const karvel::Section&);
template std::string model_to_vtp(const karvel::BRep&);
template std::string model_to_vtp(const karvel::Section&);

}  // namespace vemra::tool
