#include <vemra/remeshing/detail/background_data_impl.h>

namespace vemra::detail {

template karvel::ModelCopyMapping initialize_background_data<
    karvel::BRepBuilder, hollent::BRepGeometricModifier, karvel::BRep, 3>(
    const karvel::BRep&, karvel::BRep&, const Metric<3>&);
template karvel::ModelCopyMapping initialize_background_data<
    karvel::SectionBuilder, hollent::SectionGeometricModifier, karvel::Section, 2>(
    const karvel::Section&, karvel::Section&, const Metric<2>&);

}  // namespace vemra::detail
