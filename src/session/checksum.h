#pragma once

#include <cstdint>

#include "cloth/cloth.h"

namespace vellumry {

/// FNV-1a over the bits of every position and velocity in use: equal only for the same state.
[[nodiscard]] std::uint64_t clothChecksum(const Cloth& cloth);

}  // namespace vellumry
