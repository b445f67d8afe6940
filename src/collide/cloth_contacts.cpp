// The pairs of a sweep: the cloth's points against its triangles and its edges against its
// edges, cell by cell, and against the solid's. Each cell speaks for its lower-left corner and
// the three edges from it (the last row and column for their far corners and edges too), so
// each point and edge is met once in a pair of cells.
#include <algorithm>

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "collide/contact_geometry.h"
#include "collide/contact_pairs.h"

namespace vellumry {

namespace {

bool isCorner(int p, const int t[3]) { return p == t[0] || p == t[1] || p == t[2]; }

bool shareEnd(const int a[2], const int b[2]) {
  return a[0] == b[0] || a[0] == b[1] || a[1] == b[0] || a[1] == b[1];
}

}  // namespace

// The points the cell speaks for: its first corner, and those of the last row and column.
Collider::CellParts Collider::pointsOf(int cell) const {
  const int n = cloth_->gridSize;
  const int column = cell % (n - 1);
  const int row = cell / (n - 1);
  const int v = column + n * row;
  CellParts parts;
  parts.points[parts.pointCount++] = v;
  if (column == n - 2) {
    parts.points[parts.pointCount++] = v + 1;
  }
  if (row == n - 2) {
    parts.points[parts.pointCount++] = v + n;
    if (column == n - 2) {
      parts.points[parts.pointCount++] = v + n + 1;
    }
  }
  return parts;
}

Collider::CellParts Collider::partsOf(int cell) const {
  const int n = cloth_->gridSize;
  const int column = cell % (n - 1);
  const int row = cell / (n - 1);
  const int v = column + n * row;
  const std::uint8_t* alive = cloth_->mesh.alive.data();
  const auto at = 2 * static_cast<std::ptrdiff_t>(cell);
  const bool first = alive[at] != 0;
  const bool second = alive[at + 1] != 0;
  const bool lastColumn = column == n - 2;
  const bool lastRow = row == n - 2;
  CellParts parts = pointsOf(cell);
  const auto edge = [&parts](bool whole, int a, int b) {
    if (whole) {
      parts.edges[parts.edgeCount][0] = a;
      parts.edges[parts.edgeCount][1] = b;
      ++parts.edgeCount;
    }
  };
  edge(first || (row > 0 && alive[at - 2 * static_cast<std::ptrdiff_t>(n - 1) + 1] != 0), v,
       v + 1);
  edge(first || (column > 0 && alive[at - 1] != 0), v, v + n);
  edge(first || second, v + 1, v + n);
  edge(lastRow && second, v + n, v + n + 1);
  edge(lastColumn && second, v + 1, v + n + 1);
  const auto triangle = [&parts](bool whole, int a, int b, int c) {
    if (whole) {
      int* t = parts.triangles[parts.triangleCount++];
      t[0] = a;
      t[1] = b;
      t[2] = c;
    }
  };
  triangle(first, v, v + n, v + 1);
  triangle(second, v + 1, v + n, v + n + 1);
  return parts;
}

void Collider::cellAlone(int cell) {
  const CellParts c = partsOf(cell);
  for (int i = 0; i < c.pointCount; ++i) {
    for (int t = 0; t < c.triangleCount; ++t) {
      if (!isCorner(c.points[i], c.triangles[t])) {
        const int corners[4] = {c.points[i], c.triangles[t][0], c.triangles[t][1],
                                c.triangles[t][2]};
        meet(true, corners);
      }
    }
  }
  for (int i = 0; i < c.edgeCount; ++i) {
    for (int j = i + 1; j < c.edgeCount; ++j) {
      if (!shareEnd(c.edges[i], c.edges[j])) {
        const int corners[4] = {c.edges[i][0], c.edges[i][1], c.edges[j][0], c.edges[j][1]};
        meet(false, corners);
      }
    }
  }
}

void Collider::cellPair(int a, int b) {
  const CellParts pa = partsOf(a);
  const CellParts pb = partsOf(b);
  const auto points = [this](const CellParts& from, const CellParts& to) {
    for (int i = 0; i < from.pointCount; ++i) {
      for (int t = 0; t < to.triangleCount; ++t) {
        if (!isCorner(from.points[i], to.triangles[t])) {
          const int corners[4] = {from.points[i], to.triangles[t][0], to.triangles[t][1],
                                  to.triangles[t][2]};
          meet(true, corners);
        }
      }
    }
  };
  points(pa, pb);
  points(pb, pa);
  for (int i = 0; i < pa.edgeCount; ++i) {
    for (int j = 0; j < pb.edgeCount; ++j) {
      if (!shareEnd(pa.edges[i], pb.edges[j])) {
        const int corners[4] = {pa.edges[i][0], pa.edges[i][1], pb.edges[j][0], pb.edges[j][1]};
        meet(false, corners);
      }
    }
  }
}

// The corners of a pair: a cloth particle (0 or more) or a point of the solid (below 0).
// Whether any of the cloth's moved, and whether one is the solid's.
void Collider::gather(const int corners[4], Corner c[4], bool& moving, bool& solid) const {
  moving = false;
  solid = false;
  for (int i = 0; i < 4; ++i) {
    if (corners[i] >= 0) {
      const auto j = static_cast<std::size_t>(corners[i]);
      c[i] = {start_[j], end_[j], yields_[j]};
      moving = moving || c[i].start.x != c[i].end.x || c[i].start.y != c[i].end.y ||
               c[i].start.z != c[i].end.z;
    } else {
      const Vec3& p = solidPoints_[static_cast<std::size_t>(solidIndex(corners[i]))];
      c[i] = {p, p, 0.0};
      solid = true;
    }
  }
}

// The near pass: a crossing first; else what is nearer than the thickness. Whether it moved
// the corners.
bool Collider::pushApart(Corner c[4], bool pointTriangle, double gap, bool moving,
                         bool mayEndNear) {
  Contact k;
  if (moving && (pointTriangle ? pointTriangleCrosses(c, gap, k) : edgesCross(c, gap, k)) &&
      violated(c, k, 0.5 * gap)) {
    ++hits_;
  } else if (!mayEndNear || !(pointTriangle ? pointTriangleNear(c, gap, k) : edgesNear(c, gap, k))) {
    return false;
  }
  if (!enforce(c, k)) {
    return false;
  }
  ++moved_;
  return true;
}

// The crossing passes: whether a crossing was stopped (and the corners moved).
bool Collider::stopCrossing(Corner c[4], bool pointTriangle, double gap, const int corners[4]) {
  Contact k;
  if (!(pointTriangle ? pointTriangleCrosses(c, gap, k) : edgesCross(c, gap, k)) ||
      !violated(c, k, 0.5 * gap)) {
    return false;
  }
  ++hits_;
  if (pass_ == Pass::kDetect) {
    joinZone(corners);
    return false;
  }
  return enforce(c, k);
}

void Collider::meet(bool pointTriangle, const int corners[4], FaceReach reach) {
  Corner c[4];
  bool moving = false;
  bool solid = false;
  gather(corners, c, moving, solid);
  const bool nearPass = pass_ == Pass::kNear;
  const double gap = solid ? settings_.thickness : settings_.layers;
  if (!partsNear(c, pointTriangle ? 1 : 2, nearPass ? gap : kTouching * gap)) {
    return;
  }
  const int hits = hits_;
  const bool moved =
      nearPass ? pushApart(c, pointTriangle, gap, moving && reach.cross, reach.nearEnd)
               : moving && reach.cross && stopCrossing(c, pointTriangle, gap, corners);
  if (!moved) {
    if (hits_ != hits) {
      stir(corners);
    }
    return;
  }
  for (int i = 0; i < 4; ++i) {
    if (corners[i] >= 0 && c[i].inverseMass > 0.0) {
      const auto j = static_cast<std::size_t>(corners[i]);
      end_[j] = c[i].end;
      if (solid) {
        marks_[j] = static_cast<std::uint8_t>(marks_[j] | 1U);
      }
    }
  }
  stir(corners);
}

// The pair's cloth corners moved or were found crossing: the next crossing sweep meets them
// again, and this one from now on.
void Collider::stir(const int corners[4]) {
  for (int i = 0; i < 4; ++i) {
    if (corners[i] >= 0) {
      stirred_[static_cast<std::size_t>(corners[i])] = 1;
      tree_.touch(corners[i]);
    }
  }
}

}  // namespace vellumry
