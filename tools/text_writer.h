#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace vemra::tool {

// Buffered output to an open file, numbers in their shortest form that reads back to the
// same double. Remembers the first failure; failed() tells.
class TextWriter {
 public:
  explicit TextWriter(std::FILE* file) : file_{file} {}
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter() { flush(); }

  TextWriter& operator<<(std::string_view text) {
    if (text.size() > sizeof(buffer_) - used_) flush();
    if (text.size() > sizeof(buffer_)) {
      failed_ = failed_ || std::fwrite(text.data(), 1, text.size(), file_) != text.size();
      return *this;
    }
    text.copy(buffer_ + used_, text.size());
    used_ += text.size();
    return *this;
  }
  TextWriter& operator<<(char c) { return *this << std::string_view{&c, 1}; }
  TextWriter& operator<<(double value);
  TextWriter& operator<<(std::uint64_t value);
  TextWriter& operator<<(std::uint32_t value) { return *this << std::uint64_t{value}; }
  // Raw bytes, for binary blocks.
  void bytes(const void* data, std::size_t size) {
    *this << std::string_view{static_cast<const char*>(data), size};
  }

  void flush() {
    if (used_ == 0) return;
    failed_ = failed_ || std::fwrite(buffer_, 1, used_, file_) != used_;
    used_ = 0;
  }
  bool failed() const { return failed_; }

 private:
  std::FILE* file_;
  char buffer_[1 << 16];
  std::size_t used_{0};
  bool failed_{false};
};

}  // namespace vemra::tool
