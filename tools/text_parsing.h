#pragma once

// The pieces every text reader shares: words of a line, numbers read whole, and the error
// that names where.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vemra::tool {

// Throws InputError "where: message".
[[noreturn]] void fail(const std::string& where, const std::string& message);

// White space as the "C" locale has it, without a call per character.
inline bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The words of a line, split at white space.
std::vector<std::string_view> split_words(std::string_view line);

// The whole token as a finite coordinate, an integer, or an unsigned number; anything
// else fails, naming `where` and the token.
double parse_double(std::string_view token, const std::string& where);
long long parse_integer(std::string_view token, const std::string& where);
std::uint64_t parse_unsigned(std::string_view token, const std::string& where);

}  // namespace vemra::tool
