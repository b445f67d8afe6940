#include "cloth/cloth_mesh.h"

#include <cmath>
#include <cstddef>

#include "cloth/cloth.h"

namespace vellumry {

namespace {

// Grows a list to at least this size; within its capacity nothing is allocated.
template <typename T>
void growTo(std::vector<T>& list, std::size_t size) {
  if (list.size() < size) {
    list.resize(size);
  }
}

}  // namespace

void ClothMesh::update(const Cloth& cloth) {
  const int n = cloth.gridSize;
  const auto count = static_cast<std::size_t>(n) * n;
  growTo(reversed, count);
  // Two entries a vertex of each row of cells, and two between rows; lines for every spring the
  // grid could have, so that adding bend springs later allocates nothing.
  growTo(strip, n < 2 ? 0 : 2 * count - 4);
  growTo(lines, 2 * static_cast<std::size_t>(springsFor(n, true)));

  stripCount = 0;
  const auto add = [this](int index) { strip[stripCount++] = static_cast<std::uint32_t>(index); };
  for (int row = 0; row + 1 < n; ++row) {
    if (row > 0) {
      add(n * row);
    }
    for (int column = 0; column < n; ++column) {
      add(column + n * row);
      add(column + n * (row + 1));
    }
    if (row + 2 < n) {
      add(n - 1 + n * (row + 1));
    }
  }
  lineCount = 0;
  const Particle* const first = cloth.particles.data();
  for (int i = 0; i < cloth.springCount; ++i) {
    lines[lineCount++] = static_cast<std::uint32_t>(cloth.springs[i].particleA - first);
    lines[lineCount++] = static_cast<std::uint32_t>(cloth.springs[i].particleB - first);
  }
}

// The arithmetic of computeNormals, term for term and in its order, with each clamped neighbour
// found by its index instead of a clamped lookup: the same bits.
void Cloth::computeArrayNormals() {
  const int n = gridSize;
  for (int row = 0; row < n; ++row) {
    const int up = row > 0 ? -n : 0;
    const int down = row + 1 < n ? n : 0;
    for (int column = 0; column < n; ++column) {
      const int j = column + n * row;
      const Vec3& p = particles[j].position;
      const Vec3 e1 = particles[j + up].position - p;
      const Vec3 e2 = particles[column > 0 ? j - 1 : j].position - p;
      const Vec3 e3 = particles[j + down].position - p;
      const Vec3 e4 = particles[column + 1 < n ? j + 1 : j].position - p;
      Vec3 sum;
      sum += cross(e1, e2);
      sum += cross(e2, e3);
      sum += cross(e3, e4);
      sum += cross(e4, e1);
      const double ss = sum.lengthSquared();
      if (ss == 0.0) {
        sum = Vec3();
      } else {
        sum /= std::sqrt(ss);
      }
      normals[j] = sum;
      mesh.reversed[j] = -sum;
    }
  }
}

}  // namespace vellumry
