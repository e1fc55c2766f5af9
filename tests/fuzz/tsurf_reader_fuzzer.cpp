// Any bytes read as TSurf: a soup or an InputError, never a crash, a hang or a soup whose
// indices, patches or records are out of step with its points and triangles.

#include <cstdint>
#include <string>

#include "tsurf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  try {
    const auto soup = vemra::tool::parse_tsurf(content, "fuzz");
    for (const auto& triangle : soup.triangles) {
      for (const auto vertex : triangle) {
        if (vertex >= soup.points.size()) __builtin_trap();
      }
    }
    if (soup.patches.size() != soup.triangles.size() ||
        soup.triangle_records.size() != soup.triangles.size() ||
        soup.point_ids.size() != soup.points.size()) {
      __builtin_trap();
    }
    for (const auto patch : soup.patches) {
      if (patch >= soup.patch_names.size()) __builtin_trap();
    }
  } catch (const vemra::tool::InputError&) {
  }
  return 0;
}
