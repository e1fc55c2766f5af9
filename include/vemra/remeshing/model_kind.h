#pragma once

#include <hollent/geometric_modifier.h>
#include <karvel/model/model_builder.h>

namespace vemra {

// What goes with each kind of model: its builder, its modifier and the dimension of its
// space. The one place that pairs them, for code written once over both kinds.
template <typename Model>
struct ModelKind;

template <>
struct ModelKind<karvel::BRep> {
  using Builder = karvel::BRepBuilder;
  using Modifier = hollent::BRepGeometricModifier;
  static constexpr karvel::index_t dimension = 3;
};

template <>
struct ModelKind<karvel::Section> {
  using Builder = karvel::SectionBuilder;
  using Modifier = hollent::SectionGeometricModifier;
  static constexpr karvel::index_t dimension = 2;
};

}  // namespace vemra
