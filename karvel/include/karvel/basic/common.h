#pragma once

#include <cstdint>
#include <limits>

namespace karvel {

// Meshes address their elements with 32-bit indices; the largest value means "none".
using index_t = std::uint32_t;
using local_index_t = std::uint8_t;

inline constexpr index_t NO_ID = std::numeric_limits<index_t>::max();
inline constexpr local_index_t NO_LID = std::numeric_limits<local_index_t>::max();

}  // namespace karvel
