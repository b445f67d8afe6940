#pragma once

#include <cstdint>
#include <vector>

#include "math/vec3.h"

namespace vellumry {

class Cloth;

/// What drawing the cloth through client arrays needs beside its pools: index lists, made when
/// the grid or its springs change, and each frame's reversed normals. Like the pools, the lists
/// grow with the largest grid so far and never shrink.
struct ClothMesh {
  /// One triangle strip over every row of cells, each row (0, r), (0, r + 1), (1, r), ...,
  /// (n - 1, r + 1), rows joined by repeating a vertex at each end: the real triangles of the
  /// immediate-mode strips, in their order and winding, and only zero-area ones between rows.
  std::vector<std::uint32_t> strip;
  std::vector<std::uint32_t> lines;  ///< both ends of each spring in use, in spring order
  std::vector<Vec3> reversed;        ///< every normal negated, for the clockwise pass
  int stripCount = 0;                ///< entries of strip in use
  int lineCount = 0;                 ///< entries of lines in use: two a spring

  /// Makes the index lists for the cloth's grid and its springs in use.
  void update(const Cloth& cloth);
};

}  // namespace vellumry
