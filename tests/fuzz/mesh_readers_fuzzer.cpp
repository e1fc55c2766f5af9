// Any bytes, read as any format: a soup or an InputError, never a crash, a hang or a soup
// whose indices point outside its points.

#include <cstdint>
#include <string>

#include "mesh_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const formats[] = {"obj", "off", "ply", "stl", "ts"};
  const std::string format = formats[data[0] % 5];
  const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    const auto soup = vemra::tool::parse_soup(format, content, "fuzz");
    for (const auto& triangle : soup.triangles) {
      for (const auto vertex : triangle) {
        if (vertex >= soup.points.size()) __builtin_trap();
      }
    }
    if (soup.patches.size() != soup.triangles.size() ||
        soup.triangle_records.size() != soup.triangles.size()) {
      __builtin_trap();
    }
  } catch (const vemra::tool::InputError&) {
  }
  return 0;
}
