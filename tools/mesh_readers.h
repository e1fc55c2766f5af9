#pragma once

#include <string>

#include "soup.h"

namespace vemra::tool {

// Reads a triangle soup by the file's extension: .obj (each g/o group a patch; faces of
// more than three vertices are fanned), .off, .ply (ASCII or binary little/big endian)
// and .stl (ASCII or binary; vertices welded by exact position), each but OBJ as one
// patch. Throws InputError naming the file and the line (or the element of a binary file)
// for anything malformed: an unknown extension, a missing or unreadable file, a bad
// number or index, a face of fewer than three vertices, a truncated file.
Soup read_soup(const std::string& path);

// The same from text or bytes already in memory, for a format named by its extension
// ("obj", "off", "ply", "stl"); `name` is used in messages.
Soup parse_soup(const std::string& format, const std::string& content,
                const std::string& name);

}  // namespace vemra::tool
