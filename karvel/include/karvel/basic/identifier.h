#pragma once

#include <string>
#include <utility>

#include <karvel/basic/uuid.h>

namespace karvel {

// A model component's identity: a uuid that never changes and a name for people.
class Identifier {
 public:
  const uuid& id() const { return id_; }
  const std::string& name() const { return name_; }

  void set_name(std::string name) { name_ = std::move(name); }

 protected:
  Identifier() = default;
  explicit Identifier(const uuid& id) : id_{id} {}

 private:
  uuid id_;
  std::string name_;
};

}  // namespace karvel
