#pragma once

#include <cstdint>

namespace vellumry {

/// Shrinks a picture of (factor x width) by (factor x height) RGB pixels to width by height, each
/// pixel the rounded mean of its factor x factor block: the last step of supersampling. Rows keep
/// their order; out may not overlap big.
void downsample(const std::uint8_t* big, int factor, int width, int height, std::uint8_t* out);

}  // namespace vellumry
