#pragma once

// Everything karvel offers, for callers that prefer one include.
#include <karvel/basic/common.h>
#include <karvel/basic/exception.h>
#include <karvel/basic/identifier.h>
#include <karvel/basic/uuid.h>
#include <karvel/geometry/basic_objects.h>
#include <karvel/geometry/mensuration.h>
#include <karvel/geometry/point.h>
#include <karvel/mesh/edged_curve.h>
#include <karvel/mesh/edged_curve_builder.h>
#include <karvel/mesh/polygon_handles.h>
#include <karvel/mesh/polygonal_surface.h>
#include <karvel/mesh/polygonal_surface_builder.h>
#include <karvel/mesh/surface_mesh.h>
#include <karvel/mesh/triangulated_surface.h>
#include <karvel/mesh/triangulated_surface_builder.h>
#include <karvel/model/brep.h>
#include <karvel/model/checker.h>
#include <karvel/model/from_patches.h>
#include <karvel/model/model_builder.h>
#include <karvel/model/model_copy_mapping.h>
#include <karvel/model/relationships.h>
#include <karvel/model/relationships_builder.h>
#include <karvel/model/section.h>
#include <karvel/model/vertex_identifier.h>
