#pragma once

// Everything hollent offers.
#include <hollent/geometric_modifier.h>
#include <hollent/small_map.h>
#include <hollent/split_result.h>
