#pragma once

#include <string>

#include "soup.h"

namespace vemra::tool {

// PLY in ASCII or binary (either byte order): the vertex x, y, z and the face vertex
// lists; other properties and elements are skipped. Throws InputError naming the line,
// or the element of a binary file.
Soup parse_ply(const std::string& content, const std::string& name);

}  // namespace vemra::tool
