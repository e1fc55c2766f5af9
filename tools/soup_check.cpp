#include "soup_check.h"

#include <algorithm>

#include <absl/container/flat_hash_map.h>

namespace vemra::tool {

bool on_one_line(const std::array<double, 3>& a, const std::array<double, 3>& b,
                 const std::array<double, 3>& c) {
  double ab[3], ac[3];
  for (int k = 0; k < 3; ++k) {
    ab[k] = b[k] - a[k];
    ac[k] = c[k] - a[k];
  }
  return ab[1] * ac[2] - ab[2] * ac[1] == 0 && ab[2] * ac[0] - ab[0] * ac[2] == 0 &&
         ab[0] * ac[1] - ab[1] * ac[0] == 0;
}

namespace {

bool zero_area(const Soup& soup, const std::array<index_t, 3>& triangle) {
  return on_one_line(soup.points[triangle[0]].values(), soup.points[triangle[1]].values(),
                     soup.points[triangle[2]].values());
}

std::string vertices_text(const Soup& soup, const std::array<index_t, 3>& triangle) {
  return soup.point_name(triangle[0]) + ", " + soup.point_name(triangle[1]) + " and " +
         soup.point_name(triangle[2]);
}

}  // namespace

Dropped check_soup(Soup& soup, bool drop) {
  if (soup.triangles.empty()) throw InputError{soup.name + ": no triangles"};
  Dropped dropped;
  absl::flat_hash_map<std::array<index_t, 3>, index_t> first_with;
  first_with.reserve(soup.triangles.size());
  index_t kept = 0;
  for (index_t t = 0; t < soup.triangles.size(); ++t) {
    const auto& triangle = soup.triangles[t];
    if (zero_area(soup, triangle)) {
      if (!drop) {
        throw InputError{soup.triangle_place(t) + ": the triangle of " +
                         vertices_text(soup, triangle) +
                         " has no area (--drop-degenerate drops such triangles)"};
      }
      ++dropped.zero_area;
      continue;
    }
    auto key = triangle;
    std::sort(key.begin(), key.end());
    const auto [found, inserted] = first_with.emplace(key, t);
    if (!inserted) {
      if (!drop) {
        throw InputError{soup.triangle_place(t) + ": the face of " +
                         vertices_text(soup, triangle) + " repeats the one at " +
                         soup.triangle_record(found->second) +
                         " (--drop-degenerate drops repeated faces)"};
      }
      ++dropped.repeated;
      continue;
    }
    soup.triangles[kept] = triangle;
    soup.patches[kept] = soup.patches[t];
    soup.triangle_records[kept] = soup.triangle_records[t];
    ++kept;
  }
  soup.triangles.resize(kept);
  soup.patches.resize(kept);
  soup.triangle_records.resize(kept);
  if (soup.triangles.empty()) {
    throw InputError{soup.name + ": no triangles once the degenerate ones are dropped"};
  }
  return dropped;
}

std::string topology_message(const Soup& soup, const karvel::PatchTopologyError& error) {
  const std::string edge = "the edge between " + soup.point_name(error.edge[0]) +
                           " and " + soup.point_name(error.edge[1]);
  const std::string other = soup.triangle_record(error.triangles[1]);
  if (error.kind == karvel::PatchTopologyError::Kind::repeated_triangle) {
    return soup.triangle_place(error.triangles[0]) +
           ": this triangle repeats the one at " + other;
  }
  if (error.kind == karvel::PatchTopologyError::Kind::non_manifold_edge) {
    return soup.triangle_place(error.triangles[0]) + ": " + edge +
           " is held by more than two triangles of one surface, among them the one at " +
           other;
  }
  return soup.triangle_place(error.triangles[0]) + ": this triangle and the one at " +
         other + " run the same way along " + edge +
         ": their surface is not consistently oriented";
}

}  // namespace vemra::tool
