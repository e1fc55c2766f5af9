#pragma once

#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/basic/common.h>
#include <karvel/basic/uuid.h>

#include "text_writer.h"

namespace vemra::tool {

// For each surface, the input triangle that each of its triangles lies in.
using Origins = absl::flat_hash_map<karvel::uuid, std::vector<karvel::index_t>>;

// A model's triangulated surfaces, streamed: every point once (a model vertex is one
// point), then the triangles of each surface.
// OBJ: one group per surface, named after it.
// VTK XML PolyData: binary appended data, zlib-compressed in blocks with `compress`; a
// cell array "surface" (the surface's index) and, with `origins`, "origin" (the input
// triangle each triangle lies in).
// NOTE: a Section is written in the plane z = 0.
template <typename Model>
void write_obj(const Model& model, TextWriter& out);
template <typename Model>
void write_vtp(const Model& model, const Origins* origins, bool compress,
               TextWriter& out);
// TSurf (ASCII): one GOCAD TSurf object per surface, named after it, with its own vertex
// numbers from 1.
template <typename Model>
void write_tsurf(const Model& model, TextWriter& out);
// gmsh MSH 4.1 (ASCII): one geometric and physical surface per surface and one curve per
// line, both named; every point once, in the block of the first surface that holds it.
template <typename Model>
void write_msh(const Model& model, TextWriter& out);

}  // namespace vemra::tool
