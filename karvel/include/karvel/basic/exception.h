#pragma once

#include <stdexcept>
#include <string>

namespace karvel {

// The one error type of karvel and hollent: the message says what failed and where.
class KarvelException : public std::runtime_error {
 public:
  explicit KarvelException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace karvel
