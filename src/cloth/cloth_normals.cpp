#include <cmath>

#include "cloth/cloth.h"

namespace vellumry {

// Each term is one edge crossed with the next around the vertex, at full edge lengths, so a term
// weighs twice the area of its triangle. At the border a neighbour clamps onto the vertex itself:
// its edge is zero and its two terms vanish, leaving two terms on a side and one at a corner.
void Cloth::computeNormals() {
  const int n = gridSize;
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      const Vec3 p = particleAt(column, row).position;
      const Vec3 e1 = particleAt(column, row - 1).position - p;
      const Vec3 e2 = particleAt(column - 1, row).position - p;
      const Vec3 e3 = particleAt(column, row + 1).position - p;
      const Vec3 e4 = particleAt(column + 1, row).position - p;
      Vec3 sum;
      sum += cross(e1, e2);
      sum += cross(e2, e3);
      sum += cross(e3, e4);
      sum += cross(e4, e1);
      const double ss = sum.lengthSquared();
      // A vertex whose edges are all parallel has no normal: store zero rather than 0 / 0.
      if (ss == 0.0) {
        sum = Vec3();
      } else {
        sum /= std::sqrt(ss);
      }
      normals[column + n * row] = sum;
    }
  }
}

}  // namespace vellumry
