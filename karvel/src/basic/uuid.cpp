#include <karvel/basic/exception.h>
#include <karvel/basic/uuid.h>

#include <cstdio>
#include <random>

namespace karvel {
namespace {

std::mt19937_64& thread_generator() {
  thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64{seed};
  }()};
  return generator;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

uuid::uuid() {
  auto& generator = thread_generator();
  high_ = generator();
  low_ = generator();
  // Version 4 and the RFC 4122 variant bits.
  high_ = (high_ & ~0xF000ULL) | 0x4000ULL;
  low_ = (low_ & ~(0xC0ULL << 56)) | (0x80ULL << 56);
}

uuid::uuid(const std::string& text) : high_{0}, low_{0} {
  if (text.size() != 36) {
    throw KarvelException{"[uuid] Cannot parse '" + text + "': expected 36 characters"};
  }
  int nibble = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') {
        throw KarvelException{"[uuid] Cannot parse '" + text + "': expected '-' at " +
                              std::to_string(i)};
      }
      continue;
    }
    const int value = hex_value(text[i]);
    if (value < 0) {
      throw KarvelException{"[uuid] Cannot parse '" + text + "': bad digit at " +
                            std::to_string(i)};
    }
    auto& word = nibble < 16 ? high_ : low_;
    word = (word << 4) | static_cast<std::uint64_t>(value);
    ++nibble;
  }
}

std::string uuid::string() const {
  char text[37];
  std::snprintf(text, sizeof(text), "%08x-%04x-%04x-%04x-%012llx",
                static_cast<unsigned>(high_ >> 32),
                static_cast<unsigned>((high_ >> 16) & 0xFFFF),
                static_cast<unsigned>(high_ & 0xFFFF), static_cast<unsigned>(low_ >> 48),
                static_cast<unsigned long long>(low_ & 0xFFFFFFFFFFFFULL));
  return text;
}

}  // namespace karvel
