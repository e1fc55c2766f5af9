// Any small soup: brep_from_patches either refuses it with a KarvelException or builds a
// model that the checker finds valid.

#include <cstdint>
#include <vector>

#include <karvel/basic/exception.h>
#include <karvel/model/checker.h>
#include <karvel/model/from_patches.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Points on a small integer lattice, so that triangles share vertices and edges often.
  const std::size_t nb_points = 3 + data[0] % 13;
  std::size_t at = 1;
  const auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
  std::vector<karvel::Point<3>> points;
  for (std::size_t p = 0; p < nb_points; ++p) {
    points.push_back(
        karvel::Point<3>{{double(next() % 5), double(next() % 5), double(next() % 3)}});
  }
  std::vector<std::array<karvel::index_t, 3>> triangles;
  std::vector<karvel::index_t> patches;
  while (at + 3 < size) {
    triangles.push_back({karvel::index_t(next() % nb_points),
                         karvel::index_t(next() % nb_points),
                         karvel::index_t(next() % nb_points)});
    patches.push_back(next() % 3);
  }
  try {
    const auto model = karvel::brep_from_patches(points, triangles, patches);
    if (!karvel::check_model(model).ok()) __builtin_trap();
  } catch (const karvel::KarvelException&) {
  }
  return 0;
}
