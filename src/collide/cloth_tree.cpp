#include "collide/cloth_tree.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cloth/cloth.h"
#include "collide/cell_rows.h"
#include "collide/contact_geometry.h"

namespace vellumry {

namespace {

bool unitOrZero(Vec3& v) {
  const double ll = v.lengthSquared();
  if (!(ll > 0.0)) {
    v = Vec3();
    return false;
  }
  v = (1.0 / std::sqrt(ll)) * v;
  return true;
}

// The narrowest cone found about the normals' mean, or any direction where they spread past a
// right angle or one has no direction.
Cone coneOf(const Vec3* normals, int count) {
  Cone cone;
  Vec3 sum;
  for (int i = 0; i < count; ++i) {
    if (normals[i].lengthSquared() == 0.0) {
      return cone;
    }
    sum += normals[i];
  }
  if (count == 0 || !unitOrZero(sum)) {
    return cone;
  }
  double least = 1.0;
  for (int i = 0; i < count; ++i) {
    least = std::min(least, dot(sum, normals[i]));
  }
  if (least < 0.0) {
    return cone;
  }
  cone.axis = sum;
  cone.cosSpread = least;
  cone.sinSpread = std::sqrt(std::max(0.0, 1.0 - least * least));
  return cone;
}

// The cosine of the angle a cone reaches from `axis`: its own spread past its axis's tilt.
double reach(const Cone& c, const Vec3& axis) {
  const double tilt = dot(axis, c.axis);
  if (tilt <= 0.0) {
    return -1.0;
  }
  const double sinTilt = std::sqrt(std::max(0.0, 1.0 - tilt * tilt));
  return tilt * c.cosSpread - sinTilt * c.sinSpread;
}

Cone merged(const Cone& a, const Cone& b) {
  Cone cone;
  if (a.cosSpread < 0.0 || b.cosSpread < 0.0) {
    return cone;
  }
  Vec3 axis = plus(a.axis, b.axis);
  if (!unitOrZero(axis)) {
    return cone;
  }
  const double least = std::min(reach(a, axis), reach(b, axis));
  if (least < 0.0) {
    return cone;
  }
  cone.axis = axis;
  cone.cosSpread = least;
  cone.sinSpread = std::sqrt(std::max(0.0, 1.0 - least * least));
  return cone;
}

}  // namespace

void ClothTree::build(int n) {
  n_ = n;
  levels_ = 0;
  while (n >= 2 && (1 << levels_) < n - 1) {
    ++levels_;
  }
  const std::size_t count = ((std::size_t{1} << (2 * levels_ + 2)) - 1) / 3;
  nodes_.assign(count, Node());
  moved_.assign(count, 1);
  const std::size_t cells = n >= 2 ? static_cast<std::size_t>(n - 1) * (n - 1) : 0;
  startNormals_.assign(2 * cells, Vec3());
  endNormals_.assign(2 * cells, Vec3());
}

const Box& ClothTree::cellBox(int cell) const {
  return at({levels_, cell % (n_ - 1), cell / (n_ - 1)}).box;
}

void ClothTree::boundCell(const Vec3* start, const Vec3* end, int x, int y) {
  const int v = x + n_ * y;
  Box& box = nodes_[index({levels_, x, y})].box;
  box = Box();
  for (const int c : {v, v + 1, v + n_, v + n_ + 1}) {
    box.add(start[c]);
    box.add(end[c]);
  }
}

void ClothTree::refitRows(const LeafRefit& job, int firstRow, int endRow) {
  const Vec3* start = job.start;
  const Vec3* end = job.end;
  const bool newStart = job.newStart;
  const bool normals = job.directions != Directions::kNone;
  const int n = n_;
  for (int y = firstRow; y < endRow; ++y) {
    for (int first = 0; first < n - 1; first += kRowBoxes) {
      const int count = std::min(kRowBoxes, n - 1 - first);
      double b[6 * kRowBoxes];
      rowBoxes(start, end, first + n * y, n, count, b);
      for (int x = 0; x < count; ++x) {
        Box& box = nodes_[index({levels_, first + x, y})].box;
        box.lo = {b[x], b[kRowBoxes + x], b[2 * kRowBoxes + x]};
        box.hi = {b[3 * kRowBoxes + x], b[4 * kRowBoxes + x], b[5 * kRowBoxes + x]};
      }
    }
    const std::size_t row = 2 * static_cast<std::size_t>(n - 1) * y;
    if (newStart) {
      rowNormals(start, n * y, n, n - 1, &startNormals_[row]);
    }
    if (normals) {
      rowNormals(end, n * y, n, n - 1, &endNormals_[row]);
    }
  }
}

// A block of two by two cells: the cone of its cells' normals at the start and the end.
Cone ClothTree::blockCone(const Place& p) const {
  Vec3 normals[16];
  int count = 0;
  for (int k = 0; k < 4; ++k) {
    const Place c = child(p, k);
    if (c.x < n_ - 1 && c.y < n_ - 1) {
      const auto cell = 2 * static_cast<std::size_t>(cellOf(c));
      for (std::size_t t = 0; t < 2; ++t) {
        normals[count++] = startNormals_[cell + t];
        normals[count++] = endNormals_[cell + t];
      }
    }
  }
  return coneOf(normals, count);
}

// A node above the cells: the box of its children, and from blocks up their cone.
void ClothTree::refitNode(const Place& p, bool cones) {
  Node& node = nodes_[index(p)];
  node.box = Box();
  bool first = true;
  const bool block = p.level == levels_ - 1;
  for (int k = 0; k < 4; ++k) {
    const Node& c = at(child(p, k));
    if (c.box.empty()) {
      continue;
    }
    node.box.add(c.box);
    if (cones && !block) {
      node.cone = first ? c.cone : merged(node.cone, c.cone);
    }
    first = false;
  }
  if (cones && block && !node.box.empty()) {
    node.cone = blockCone(p);
  }
}

// The cells themselves have no cone: a block that is not flat has every pair of its cells met.
// A band of rows of blocks of two by two cells: their cells, then the blocks themselves.
void ClothTree::refitBand(void* context, int band) {
  const auto& job = *static_cast<const LeafRefit*>(context);
  ClothTree& tree = *job.tree;
  if (tree.levels_ == 0) {
    tree.refitRows(job, 0, tree.n_ - 1);
    return;
  }
  const int blockLevel = tree.levels_ - 1;
  const int side = 1 << blockLevel;
  const int first = side * band / job.bands;
  const int last = side * (band + 1) / job.bands;
  tree.refitRows(job, std::min(2 * first, tree.n_ - 1), std::min(2 * last, tree.n_ - 1));
  for (int y = first; y < last; ++y) {
    for (int x = 0; x < side; ++x) {
      tree.refitNode({blockLevel, x, y}, job.directions == Directions::kCones);
    }
  }
}

void ClothTree::refit(const Vec3* start, const Vec3* end, bool newStart, Directions directions,
                      Cloth* share) {
  if (n_ < 2) {
    return;
  }
  // The cells row band by row band, each band its own cells' boxes and normals: the same bits
  // on any number of threads.
  const int rows = n_ - 1;
  const int bands =
      share == nullptr ? 1 : std::min(share->threads, std::max(1, rows * rows / kCellsPerBand));
  LeafRefit job{this, start, end, newStart, directions, bands};
  const bool cones = directions == Directions::kCones;
  if (bands == 1) {
    refitBand(&job, 0);
  } else {
    share->share(bands, &ClothTree::refitBand, &job);
  }
  std::fill(moved_.begin(), moved_.end(), std::uint8_t{1});
  for (int level = levels_ - 2; level >= 0; --level) {
    const int side = 1 << level;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        refitNode({level, x, y}, cones);
      }
    }
  }
}

void ClothTree::refitMoved(const Vec3* start, const Vec3* end, const std::uint8_t* moved,
                           bool forgetCones) {
  if (n_ < 2) {
    return;
  }
  std::fill(moved_.begin(), moved_.end(), std::uint8_t{0});
  const int n = n_;
  for (int y = 0; y < n - 1; ++y) {
    for (int x = 0; x < n - 1; ++x) {
      const int v = x + n * y;
      if ((moved[v] | moved[v + 1] | moved[v + n] | moved[v + n + 1]) != 0) {
        boundCell(start, end, x, y);
        moved_[index({levels_, x, y})] = 1;
      }
    }
  }
  for (int level = levels_ - 1; level >= 0; --level) {
    const int side = 1 << level;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        refitIfMoved({level, x, y}, forgetCones);
      }
    }
  }
}

// A node above a moved cell is bounded again, and with forgetCones takes any direction: its
// normals moved after its cone was found.
void ClothTree::refitIfMoved(const Place& p, bool forgetCones) {
  std::uint8_t any = 0;
  for (int k = 0; k < 4; ++k) {
    any = static_cast<std::uint8_t>(any | moved_[index(child(p, k))]);
  }
  if (any == 0) {
    return;
  }
  moved_[index(p)] = 1;
  refitNode(p, false);
  if (forgetCones) {
    nodes_[index(p)].cone = Cone();
  }
}

void ClothTree::touch(int particle) {
  if (n_ < 2) {
    return;
  }
  const int px = particle % n_;
  const int py = particle / n_;
  for (int y = std::max(py - 1, 0); y <= std::min(py, n_ - 2); ++y) {
    for (int x = std::max(px - 1, 0); x <= std::min(px, n_ - 2); ++x) {
      for (Place p{levels_, x, y}; moved_[index(p)] == 0; p = {p.level - 1, p.x / 2, p.y / 2}) {
        moved_[index(p)] = 1;
        if (p.level == 0) {
          break;
        }
      }
    }
  }
}

void ClothTree::carryNormals() { std::swap(startNormals_, endNormals_); }

// Patches that share a border or a corner in the grid, with one narrow cone for both: one flat
// piece, which cannot meet itself.
bool ClothTree::flatTogether(const Place& a, const Place& b) const {
  const int sa = 1 << (levels_ - a.level);
  const int sb = 1 << (levels_ - b.level);
  const bool touch = a.x * sa <= (b.x + 1) * sb && b.x * sb <= (a.x + 1) * sa &&
                     a.y * sa <= (b.y + 1) * sb && b.y * sb <= (a.y + 1) * sa;
  return touch && merged(at(a).cone, at(b).cone).cosSpread >= kFlat;
}

}  // namespace vellumry
