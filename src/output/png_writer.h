#pragma once

#include <cstdint>
#include <string>

namespace vellumry {

/// Writes width x height RGB pixels, rows bottom first as GL reads them, as a PNG file at a fast
/// compression level. On failure returns false with the reason; the file may be left partial.
bool writePng(const std::string& path, int width, int height, const std::uint8_t* pixels,
              std::string& error);

}  // namespace vellumry
