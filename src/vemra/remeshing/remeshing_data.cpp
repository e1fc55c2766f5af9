#include <vemra/remeshing/detail/remeshing_data_impl.h>

namespace vemra {

template RemeshingData<karvel::BRep, 3> initialize_remeshing_data<
    karvel::BRepBuilder, hollent::BRepGeometricModifier, karvel::BRep, 3>(
    const karvel::BRep&, karvel::BRep&, const Metric<3>&);
template RemeshingData<karvel::Section, 2> initialize_remeshing_data<
    karvel::SectionBuilder, hollent::SectionGeometricModifier, karvel::Section, 2>(
    const karvel::Section&, karvel::Section&, const Metric<2>&);

}  // namespace vemra
