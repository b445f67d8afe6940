#include "cloth/cloth_mesh.h"

#include <algorithm>
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
  const int cellCount = n < 2 ? 0 : (n - 1) * (n - 1);
  growTo(edges, 3 * count);
  growTo(alive, 2 * static_cast<std::size_t>(cellCount));
  growTo(triangles, 6 * static_cast<std::size_t>(cellCount));
  std::fill_n(edges.begin(), 3 * count, -1);
  const Particle* const first = cloth.particles.data();
  for (int i = 0; i < cloth.springCount; ++i) {
    const Spring& s = cloth.springs[i];
    const auto a = static_cast<int>(s.particleA - first);
    const auto step = static_cast<int>(s.particleB - s.particleA);
    const bool structural = cloth.springKinds[i] == SpringKind::kStructural;
    const bool shear = cloth.springKinds[i] == SpringKind::kShear;
    const int edge = structural && step == n   ? 0
                     : structural && step == 1 ? 1
                     : shear && step == n - 1  ? 2
                                               : -1;
    if (edge >= 0) {
      edges[3 * static_cast<std::size_t>(a) + edge] = i;
    }
  }
  linesFrom(cloth, 0);
  trianglesFrom(cloth, 0);
}

void ClothMesh::dropBroken(const Cloth& cloth, int firstSpring) {
  const int n = cloth.gridSize;
  linesFrom(cloth, firstSpring);
  if (cloth.springKinds[firstSpring] == SpringKind::kBend) {
    return;  // bend springs come after the others and bound no triangle
  }
  // A vertex's edges bound cells of its own row and the row before, from the cell before it on.
  const auto a = static_cast<int>(cloth.springs[firstSpring].particleA - cloth.particles.data());
  const int column = std::min(a % n, n - 2);
  trianglesFrom(cloth, std::max(0, column + (n - 1) * (a / n - 1)));
}

// Every spring before this one that is broken broke earlier: it is already left out.
void ClothMesh::linesFrom(const Cloth& cloth, int spring) {
  const auto gone = std::count(cloth.broken.begin(), cloth.broken.begin() + spring, 1);
  lineCount = 2 * (spring - static_cast<int>(gone));
  const Particle* const first = cloth.particles.data();
  for (int i = spring; i < cloth.springCount; ++i) {
    if (cloth.broken[i] == 0) {
      lines[lineCount++] = static_cast<std::uint32_t>(cloth.springs[i].particleA - first);
      lines[lineCount++] = static_cast<std::uint32_t>(cloth.springs[i].particleB - first);
    }
  }
}

void ClothMesh::trianglesFrom(const Cloth& cloth, int cell) {
  const int n = cloth.gridSize;
  const int cells = n < 2 ? 0 : (n - 1) * (n - 1);
  const auto kept = std::count(alive.begin(), alive.begin() + 2 * cell, 1);
  triangleCount = 3 * static_cast<int>(kept);
  const auto whole = [&cloth, this](int vertex, int edge) {
    const int s = edges[3 * static_cast<std::size_t>(vertex) + edge];
    return s < 0 || cloth.broken[s] == 0;
  };
  const auto add = [this](int a, int b, int c) {
    triangles[triangleCount++] = static_cast<std::uint32_t>(a);
    triangles[triangleCount++] = static_cast<std::uint32_t>(b);
    triangles[triangleCount++] = static_cast<std::uint32_t>(c);
  };
  for (; cell < cells; ++cell) {
    const int v = cell % (n - 1) + n * (cell / (n - 1));  // its corner (c, r)
    const bool diagonal = whole(v + 1, 2);
    const bool first = diagonal && whole(v, 0) && whole(v, 1);
    const bool second = diagonal && whole(v + n, 1) && whole(v + 1, 0);
    alive[2 * static_cast<std::size_t>(cell)] = first ? 1 : 0;
    alive[2 * static_cast<std::size_t>(cell) + 1] = second ? 1 : 0;
    if (first) {
      add(v, v + n, v + 1);
    }
    if (second) {
      add(v + 1, v + n, v + n + 1);
    }
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
