#pragma once

#include <string>

#include "soup.h"

namespace vemra::tool {

// Reads a triangle soup by the file's extension (in any case): .obj (each g/o group that
// holds faces a patch; faces of more than three vertices are fanned), .off, .ply (ASCII
// or binary little/big endian), .stl (ASCII or binary; vertices welded by exact
// position) and .ts (TSurf: each TFACE a patch), each of the others as one patch. Throws
// InputError naming the file and the line (or the element of a binary file) for anything
// malformed: an unknown extension, a missing or unreadable file, a bad number or index, a
// face of fewer than three vertices, a truncated file.
Soup read_soup(const std::string& path);

// The same from text or bytes already in memory, for a format named by its extension
// ("obj", "off", "ply", "stl", "ts"); `name` is used in messages.
Soup parse_soup(const std::string& format, const std::string& content,
                const std::string& name);

}  // namespace vemra::tool
