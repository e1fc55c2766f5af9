#include <vemra/remeshing/detail/splitter_impl.h>

namespace vemra::detail {

template class Splitter<karvel::BRep, hollent::BRepGeometricModifier, 3>;
template class Splitter<karvel::Section, hollent::SectionGeometricModifier, 2>;

}  // namespace vemra::detail
