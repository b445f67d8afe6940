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

// Which of a vertex's triangle edges the spring is (see ClothMesh::edges), or -1.
int edgeOf(SpringKind kind, int step, int n) {
  if (kind == SpringKind::kStructural) {
    return step == n ? 0 : step == 1 ? 1 : -1;
  }
  return kind == SpringKind::kShear && step == n - 1 ? 2 : -1;
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
    const int edge = edgeOf(cloth.springKinds[i], step, n);
    if (edge >= 0) {
      edges[3 * static_cast<std::size_t>(a) + edge] = i;
    }
  }
  allLines(cloth);
  allTriangles(cloth);
}

// The springs just broken (count of them) are marked 2, those broken before 1, and none before
// firstSpring is marked 2. The lists keep their order; a single break moves only their tails.
void ClothMesh::dropBroken(const Cloth& cloth, int firstSpring, int count) {
  const int n = cloth.gridSize;
  const int slots = n < 2 ? 0 : 2 * (n - 1) * (n - 1);
  const int last = count == 1 ? firstSpring + 1 : cloth.springCount;
  int firstSlot = slots;
  int opened = 0;
  for (int i = firstSpring; i < last; ++i) {
    if (cloth.broken[i] == 2) {
      opened += openTriangles(cloth, i, firstSlot);
    }
  }
  const std::uint8_t* broken = cloth.broken.data();
  const auto gone =
      std::count_if(broken, broken + firstSpring, [](std::uint8_t b) { return b != 0; });
  const int from = 2 * (firstSpring - static_cast<int>(gone));
  if (count == 1) {
    std::copy(lines.begin() + from + 2, lines.begin() + lineCount, lines.begin() + from);
    lineCount -= 2;
  } else {
    lineCount = compact(lines, from, 2, broken + firstSpring, cloth.springCount - firstSpring, 0);
  }
  if (opened == 0) {
    return;
  }
  const auto kept = std::count(alive.begin(), alive.begin() + firstSlot, 1);
  triangleCount = compact(triangles, 3 * static_cast<int>(kept), 3, alive.data() + firstSlot,
                          slots - firstSlot, 1);
  std::replace(alive.begin() + firstSlot, alive.begin() + slots, std::uint8_t{2}, std::uint8_t{0});
}

// The two triangles beside each edge a spring can be (see edges), marked 2 while they go.
int ClothMesh::openTriangles(const Cloth& cloth, int spring, int& firstSlot) {
  const int n = cloth.gridSize;
  const Spring& s = cloth.springs[spring];
  const auto a = static_cast<int>(s.particleA - cloth.particles.data());
  const int c = a % n;
  const int r = a / n;
  int opened = 0;
  const auto open = [&](int column, int row, int which) {
    const int t = 2 * (column + (n - 1) * row) + which;
    if (column >= 0 && row >= 0 && column < n - 1 && row < n - 1 && alive[t] == 1) {
      alive[t] = 2;
      firstSlot = std::min(firstSlot, t);
      ++opened;
    }
  };
  switch (edgeOf(cloth.springKinds[spring], static_cast<int>(s.particleB - s.particleA), n)) {
    case 0:
      open(c - 1, r, 1);
      open(c, r, 0);
      break;
    case 1:
      open(c, r - 1, 1);
      open(c, r, 0);
      break;
    case 2:
      open(c - 1, r, 0);
      open(c - 1, r, 1);
      break;
    default:
      break;
  }
  return opened;
}

// From entry `from` on, keeps the groups of `size` entries marked `kept` and drops those marked
// 2; any other mark is a group already left out. The new count of entries in use.
int ClothMesh::compact(std::vector<std::uint32_t>& list, int from, int size,
                       const std::uint8_t* marks, int groups, std::uint8_t kept) {
  int write = from;
  int read = from;
  for (int g = 0; g < groups; ++g) {
    if (marks[g] == kept) {
      std::copy_n(list.begin() + read, size, list.begin() + write);
      write += size;
      read += size;
    } else if (marks[g] == 2) {
      read += size;
    }
  }
  return write;
}

void ClothMesh::allLines(const Cloth& cloth) {
  lineCount = 0;
  const Particle* const first = cloth.particles.data();
  for (int i = 0; i < cloth.springCount; ++i) {
    if (cloth.broken[i] == 0) {
      lines[lineCount++] = static_cast<std::uint32_t>(cloth.springs[i].particleA - first);
      lines[lineCount++] = static_cast<std::uint32_t>(cloth.springs[i].particleB - first);
    }
  }
}

void ClothMesh::allTriangles(const Cloth& cloth) {
  const int n = cloth.gridSize;
  const int cells = n < 2 ? 0 : (n - 1) * (n - 1);
  triangleCount = 0;
  const auto whole = [&cloth, this](int vertex, int edge) {
    const int s = edges[3 * static_cast<std::size_t>(vertex) + edge];
    return s < 0 || cloth.broken[s] == 0;
  };
  const auto add = [this](int a, int b, int c) {
    triangles[triangleCount++] = static_cast<std::uint32_t>(a);
    triangles[triangleCount++] = static_cast<std::uint32_t>(b);
    triangles[triangleCount++] = static_cast<std::uint32_t>(c);
  };
  for (int cell = 0; cell < cells; ++cell) {
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
