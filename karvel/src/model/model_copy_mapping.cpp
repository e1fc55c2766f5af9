#include <karvel/model/model_copy_mapping.h>

#include <karvel/basic/exception.h>

namespace karvel {

void BijectiveMapping::map(const uuid& in, const uuid& out) {
  const auto found_in = in2out_.find(in);
  const auto found_out = out2in_.find(out);
  if ((found_in != in2out_.end() && found_in->second != out) ||
      (found_out != out2in_.end() && found_out->second != in)) {
    throw KarvelException{"[BijectiveMapping::map] Cannot map " + in.string() + " to " +
                          out.string() + ": one of them is already mapped"};
  }
  in2out_.emplace(in, out);
  out2in_.emplace(out, in);
}

const uuid& BijectiveMapping::in2out(const uuid& in) const {
  const auto found = in2out_.find(in);
  if (found == in2out_.end()) {
    throw KarvelException{"[BijectiveMapping::in2out] " + in.string() + " is not mapped"};
  }
  return found->second;
}

const uuid& BijectiveMapping::out2in(const uuid& out) const {
  const auto found = out2in_.find(out);
  if (found == out2in_.end()) {
    throw KarvelException{"[BijectiveMapping::out2in] " + out.string() +
                          " is not mapped"};
  }
  return found->second;
}

const BijectiveMapping& ModelCopyMapping::at(ComponentType type) const {
  const auto found = mappings_.find(component_type_name(type));
  if (found == mappings_.end()) {
    throw KarvelException{"[ModelCopyMapping::at] No mapping for type " +
                          component_type_name(type)};
  }
  return found->second;
}

}  // namespace karvel
