#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellumry {

/// A picture as GL takes it: RGBA bytes, rows bottom first.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
};

/// Reads a PNG file of any colour type and depth as 8-bit RGBA, at most maxSide pixels a side.
/// On a fault returns false with the reason (cannot be read, not a PNG, damaged, too large); the
/// image is then empty.
bool readPng(const std::string& path, int maxSide, Image& image, std::string& error);

}  // namespace vellumry
