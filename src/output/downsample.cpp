#include "output/downsample.h"

#include <cstddef>

namespace vellumry {

void downsample(const std::uint8_t* big, int factor, int width, int height, std::uint8_t* out) {
  const auto bigRow = static_cast<std::size_t>(factor) * width * 3;
  const unsigned samples = static_cast<unsigned>(factor) * static_cast<unsigned>(factor);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        unsigned sum = samples / 2;  // rounds to nearest
        for (int dy = 0; dy < factor; ++dy) {
          const std::uint8_t* row = big + (static_cast<std::size_t>(y) * factor + dy) * bigRow;
          for (int dx = 0; dx < factor; ++dx) {
            sum += row[(static_cast<std::size_t>(x) * factor + dx) * 3 + c];
          }
        }
        out[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
            static_cast<std::uint8_t>(sum / samples);
      }
    }
  }
}

}  // namespace vellumry
