#include "text_parsing.h"

#include <charconv>
#include <cmath>

#include "soup.h"

namespace vemra::tool {
namespace {

template <typename T>
bool read_whole(std::string_view token, T& value) {
  const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
  return result.ec == std::errc{} && result.ptr == token.data() + token.size();
}

}  // namespace

void fail(const std::string& where, const std::string& message) {
  throw InputError{where + ": " + message};
}

std::vector<std::string_view> split_words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  const auto space = [&line](std::size_t at) { return is_space(line[at]); };
  while (i < line.size()) {
    while (i < line.size() && space(i)) ++i;
    const std::size_t start = i;
    while (i < line.size() && !space(i)) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

double parse_double(std::string_view token, const std::string& where) {
  double value = 0;
  if (!read_whole(token, value))
    fail(where, "'" + std::string{token} + "' is not a number");
  if (!std::isfinite(value)) {
    fail(where, "coordinate '" + std::string{token} + "' is not finite");
  }
  return value;
}

long long parse_integer(std::string_view token, const std::string& where) {
  long long value = 0;
  if (!read_whole(token, value))
    fail(where, "'" + std::string{token} + "' is not an integer");
  return value;
}

std::uint64_t parse_unsigned(std::string_view token, const std::string& where) {
  std::uint64_t value = 0;
  if (!read_whole(token, value)) {
    fail(where, "'" + std::string{token} + "' is not a whole number");
  }
  return value;
}

}  // namespace vemra::tool
