#include "text_writer.h"

#include <charconv>

#include "soup.h"

namespace vemra::tool {

TextWriter& TextWriter::operator<<(double value) {
  if (sizeof(buffer_) - used_ < 32) flush();
  const auto result = std::to_chars(buffer_ + used_, buffer_ + sizeof(buffer_), value);
  used_ = static_cast<std::size_t>(result.ptr - buffer_);
  return *this;
}

TextWriter& TextWriter::operator<<(std::uint64_t value) {
  if (sizeof(buffer_) - used_ < 32) flush();
  const auto result = std::to_chars(buffer_ + used_, buffer_ + sizeof(buffer_), value);
  used_ = static_cast<std::size_t>(result.ptr - buffer_);
  return *this;
}

}  // namespace vemra::tool
