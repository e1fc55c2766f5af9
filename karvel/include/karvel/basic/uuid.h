#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>

namespace karvel {

// A random (version 4) 128-bit identifier. Generating one is thread-safe: each thread
// draws from its own generator.
class uuid {
 public:
  // Draws a new random identifier.
  uuid();
  // Parses the canonical 36-character form. Throws KarvelException on a malformed string.
  explicit uuid(const std::string& text);

  std::string string() const;

  std::uint64_t high() const { return high_; }
  std::uint64_t low() const { return low_; }

  friend bool operator==(const uuid& a, const uuid& b) {
    return a.high_ == b.high_ && a.low_ == b.low_;
  }
  friend bool operator!=(const uuid& a, const uuid& b) { return !(a == b); }
  friend bool operator<(const uuid& a, const uuid& b) {
    return a.high_ != b.high_ ? a.high_ < b.high_ : a.low_ < b.low_;
  }
  friend std::ostream& operator<<(std::ostream& out, const uuid& id) {
    return out << id.string();
  }
  template <typename H>
  friend H AbslHashValue(H state, const uuid& id) {
    return H::combine(std::move(state), id.high_, id.low_);
  }

 private:
  std::uint64_t high_;
  std::uint64_t low_;
};

}  // namespace karvel

template <>
struct std::hash<karvel::uuid> {
  std::size_t operator()(const karvel::uuid& id) const noexcept {
    return static_cast<std::size_t>(id.high() ^ (id.low() * 0x9e3779b97f4a7c15ULL));
  }
};
