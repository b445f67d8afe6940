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
  /// The springs bounding the drawn triangles, three a vertex v: down its column (to v + n),
  /// along its row (to v + 1) and the diagonal to v + n - 1; -1 where there is none.
  std::vector<std::int32_t> edges;
  /// Two a cell (column + (n - 1) row), the strip's two triangles of it: (c, r) (c, r + 1)
  /// (c + 1, r), then (c + 1, r) (c, r + 1) (c + 1, r + 1); 1 while none of its edges is broken,
  /// else 0.
  std::vector<std::uint8_t> alive;
  std::vector<std::uint32_t> triangles;  ///< corners of the living triangles, in cell order
  int stripCount = 0;                    ///< entries of strip in use
  int lineCount = 0;                     ///< entries of lines in use: two a spring not broken
  int triangleCount = 0;                 ///< entries of triangles in use: three a triangle

  /// Makes the index lists for the cloth's grid and its springs in use.
  void update(const Cloth& cloth);
  /// Leaves the `count` springs just broken (marked 2 in cloth.broken, none before firstSpring)
  /// out of the lines, and the triangles they bound out of the triangles. Allocates nothing.
  void dropBroken(const Cloth& cloth, int firstSpring, int count);

 private:
  int openTriangles(const Cloth& cloth, int spring, int& firstSlot);
  static int compact(std::vector<std::uint32_t>& list, int from, int size,
                     const std::uint8_t* marks, int groups, std::uint8_t kept);
  void allLines(const Cloth& cloth);
  void allTriangles(const Cloth& cloth);
};

}  // namespace vellumry
