// The samples are lattices: every node (i, j, k) of a box, with the node heights bent so
// that one lattice layer follows a curved horizon; the fault is one lattice plane. The
// faces of the lattice on the box, the horizon and the fault are the patches.

#include "samples.h"

#include <cmath>
#include <vector>

#include <karvel/model/from_patches.h>
#include <karvel/model/model_builder.h>

namespace vemra::tool {
namespace {

using karvel::ComponentType;
using karvel::Point;

constexpr double pi = 3.14159265358979323846;

double horizon_height(double x, double y) {
  return 0.45 + 0.12 * std::sin(2 * pi * x) * std::cos(pi * y);
}

class NearHorizon3 : public Metric<3> {
 public:
  double point_metric(const Point<3>& p) const override {
    return 0.008 + 0.12 * std::fabs(p.value(2) - horizon_height(p.value(0), p.value(1)));
  }
};

double lower_horizon(double x) { return 0.35 + 0.08 * std::sin(pi * x); }
double upper_horizon(double x) { return 0.7 + 0.05 * std::cos(1.5 * pi * x); }

class NearHorizons2 : public Metric<2> {
 public:
  double point_metric(const Point<2>& p) const override {
    const double x = p.value(0), y = p.value(1);
    return 0.006 + 0.1 * std::min(std::fabs(y - lower_horizon(x)),
                                  std::fabs(y - upper_horizon(x)));
  }
};

// Adds the two triangles of a lattice quad, in a fixed turning order.
void add_quad(std::vector<std::array<index_t, 3>>& triangles,
              std::vector<index_t>& patches, index_t a, index_t b, index_t c, index_t d,
              index_t patch) {
  triangles.push_back({a, b, c});
  triangles.push_back({a, c, d});
  patches.insert(patches.end(), {patch, patch});
}

}  // namespace

Sample<karvel::BRep, 3> layers_sample() {
  constexpr index_t nx = 8, ny = 6, nz = 6, fault = 4, horizon = 3;
  const auto node = [](index_t i, index_t j, index_t k) {
    return (i * (ny + 1) + j) * (nz + 1) + k;
  };
  std::vector<Point<3>> points;
  for (index_t i = 0; i <= nx; ++i) {
    for (index_t j = 0; j <= ny; ++j) {
      const double x = double(i) / nx, y = double(j) / ny;
      const double h = horizon_height(x, y);
      for (index_t k = 0; k <= nz; ++k) {
        const double z = k <= horizon
                             ? h * k / horizon
                             : h + (1 - h) * double(k - horizon) / (nz - horizon);
        points.push_back(Point<3>{{x, y, z}});
      }
    }
  }
  enum Patch : index_t {
    bottom_west,
    bottom_east,
    top_west,
    top_east,
    west_lower,
    west_upper,
    east_lower,
    east_upper,
    south_west_lower,
    south_west_upper,
    south_east_lower,
    south_east_upper,
    north_west_lower,
    north_west_upper,
    north_east_lower,
    north_east_upper,
    horizon_west,
    horizon_east,
    fault_lower,
    fault_upper,
    nb_patches
  };
  const char* names[nb_patches] = {
      "bottom west",      "bottom east",      "top west",         "top east",
      "west lower",       "west upper",       "east lower",       "east upper",
      "south west lower", "south west upper", "south east lower", "south east upper",
      "north west lower", "north west upper", "north east lower", "north east upper",
      "horizon west",     "horizon east",     "fault lower",      "fault upper"};
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> patches;
  const auto side = [](index_t i, index_t west, index_t east) {
    return i < fault ? west : east;
  };
  const auto layer = [](index_t k, index_t lower, index_t upper) {
    return k < horizon ? lower : upper;
  };
  for (index_t i = 0; i < nx; ++i) {
    for (index_t j = 0; j < ny; ++j) {
      for (const index_t k : {index_t{0}, nz, horizon}) {
        const index_t patch = k == 0    ? side(i, bottom_west, bottom_east)
                              : k == nz ? side(i, top_west, top_east)
                                        : side(i, horizon_west, horizon_east);
        add_quad(triangles, patches, node(i, j, k), node(i + 1, j, k),
                 node(i + 1, j + 1, k), node(i, j + 1, k), patch);
      }
    }
  }
  for (index_t j = 0; j < ny; ++j) {
    for (index_t k = 0; k < nz; ++k) {
      for (const index_t i : {index_t{0}, nx, fault}) {
        const index_t patch = i == 0    ? layer(k, west_lower, west_upper)
                              : i == nx ? layer(k, east_lower, east_upper)
                                        : layer(k, fault_lower, fault_upper);
        add_quad(triangles, patches, node(i, j, k), node(i, j + 1, k),
                 node(i, j + 1, k + 1), node(i, j, k + 1), patch);
      }
    }
  }
  for (index_t i = 0; i < nx; ++i) {
    for (index_t k = 0; k < nz; ++k) {
      for (const index_t j : {index_t{0}, ny}) {
        const index_t patch = j == 0
                                  ? side(i, layer(k, south_west_lower, south_west_upper),
                                         layer(k, south_east_lower, south_east_upper))
                                  : side(i, layer(k, north_west_lower, north_west_upper),
                                         layer(k, north_east_lower, north_east_upper));
        add_quad(triangles, patches, node(i, j, k), node(i, j, k + 1),
                 node(i + 1, j, k + 1), node(i + 1, j, k), patch);
      }
    }
  }
  Sample<karvel::BRep, 3> sample{karvel::brep_from_patches(points, triangles, patches),
                                 std::make_unique<NearHorizon3>(),
                                 "0.008 + 0.12 * |z - horizon(x, y)|"};
  karvel::BRepBuilder builder{sample.model};
  std::vector<karvel::uuid> surface_of_patch;
  for (const auto& surface : sample.model.surfaces())
    surface_of_patch.push_back(surface.id());
  for (index_t patch = 0; patch < nb_patches; ++patch) {
    builder.set_name({ComponentType::surface, surface_of_patch[patch]}, names[patch]);
  }
  const std::vector<std::pair<const char*, std::vector<index_t>>> blocks{
      {"west lower",
       {bottom_west, west_lower, south_west_lower, north_west_lower, horizon_west,
        fault_lower}},
      {"west upper",
       {top_west, west_upper, south_west_upper, north_west_upper, horizon_west,
        fault_upper}},
      {"east lower",
       {bottom_east, east_lower, south_east_lower, north_east_lower, horizon_east,
        fault_lower}},
      {"east upper",
       {top_east, east_upper, south_east_upper, north_east_upper, horizon_east,
        fault_upper}}};
  for (const auto& [name, bounding] : blocks) {
    const karvel::ComponentID block{ComponentType::block, builder.add_block()};
    builder.set_name(block, name);
    for (const index_t patch : bounding) {
      builder.add_boundary_relation({ComponentType::surface, surface_of_patch[patch]},
                                    block);
    }
  }
  return sample;
}

Sample<karvel::Section, 2> section_sample() {
  constexpr index_t nx = 12, ny = 9, fault = 6, lower = 3, upper = 6;
  std::vector<Point<2>> points;
  for (index_t i = 0; i <= nx; ++i) {
    const double x = 2.0 * i / nx;
    const double h1 = lower_horizon(x), h2 = upper_horizon(x);
    for (index_t j = 0; j <= ny; ++j) {
      const double y = j <= lower   ? h1 * j / lower
                       : j <= upper ? h1 + (h2 - h1) * double(j - lower) / (upper - lower)
                                    : h2 + (1 - h2) * double(j - upper) / (ny - upper);
      points.push_back(Point<2>{{x, y}});
    }
  }
  const char* names[6] = {"west bottom layer", "west middle layer", "west top layer",
                          "east bottom layer", "east middle layer", "east top layer"};
  std::vector<std::array<index_t, 3>> triangles;
  std::vector<index_t> patches;
  for (index_t i = 0; i < nx; ++i) {
    for (index_t j = 0; j < ny; ++j) {
      const index_t layer = j < lower ? 0 : j < upper ? 1 : 2;
      const index_t patch = (i < fault ? 0 : 3) + layer;
      const index_t a = i * (ny + 1) + j;
      const index_t b = (i + 1) * (ny + 1) + j;
      add_quad(triangles, patches, a, b, b + 1, a + 1, patch);
    }
  }
  Sample<karvel::Section, 2> sample{
      karvel::section_from_patches(points, triangles, patches),
      std::make_unique<NearHorizons2>(),
      "0.006 + 0.1 * distance to the nearer horizon (in y)"};
  karvel::SectionBuilder builder{sample.model};
  index_t patch = 0;
  std::vector<karvel::uuid> ids;
  for (const auto& surface : sample.model.surfaces()) ids.push_back(surface.id());
  for (const auto& id : ids)
    builder.set_name({ComponentType::surface, id}, names[patch++]);
  return sample;
}

}  // namespace vemra::tool
