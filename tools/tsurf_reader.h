#pragma once

#include <string>

#include "soup.h"

namespace vemra::tool {

// TSurf (ASCII): one or more "GOCAD TSurf" objects, each ending with END. Every TFACE of
// an object is a patch, named after the object (a second face of it gets " 2" after the
// name, and so on); an object with triangles but no TFACE line has one. VRTX and PVRTX
// give points (the properties of PVRTX are not read); ATOM and PATOM give another number
// to an earlier point of the object, so faces that share it join there. Objects join
// where their points coincide: a point at the very position of a point of an earlier
// object is that point. TRGL gives a
// triangle by vertex numbers. BSTONE, BORDER, the header, property and coordinate-system
// lines are not needed and skipped; ZPOSITIVE Depth makes z a depth, turned into an
// elevation (z negated). Anything else is refused, naming the line.
Soup parse_tsurf(const std::string& content, const std::string& name);

}  // namespace vemra::tool
