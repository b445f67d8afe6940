// The cloth's points against the solid's faces, and its parts against the solid's sharp corners
// and edges. The solid stands still, so each face's planes are reckoned once: a point that keeps
// well off a face's plane, or well outside one of its edges, all through its motion cannot cross
// the face, and one that ends well outside cannot end near it. Those checks are left out; every
// other one runs as it would for any pair, in the same order, so the result is the same.
#include <algorithm>
#include <cmath>

#include "collide/solid_faces.h"

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "collide/contact_geometry.h"
#include "collide/contact_pairs.h"

namespace vellumry {

namespace {

// How far past the touching distance a point must keep off a face's planes, at both ends of its
// motion, to be taken as unable to cross the face: far beyond the rounding of either test.
constexpr double kClearOfPlane = 2.0;

// A face whose corner angle has a squared sine below this is a sliver: its planes may be off by
// more than rounding.
constexpr double kSliver = 1e-8;

double largest(const Vec3& p) { return std::max({std::abs(p.x), std::abs(p.y), std::abs(p.z)}); }

double above(const std::array<double, 4>& plane, const Vec3& p) {
  return dot(Vec3(plane[0], plane[1], plane[2]), p) - plane[3];
}

}  // namespace

SolidFace faceOf(const Vec3& a, const Vec3& b, const Vec3& c) {
  SolidFace f;
  const Vec3 e1 = b - a;
  const Vec3 e2 = c - a;
  Vec3 n = cross(e1, e2);
  const double ll = n.lengthSquared();
  n = ll > 0.0 ? n / std::sqrt(ll) : Vec3();
  f.plane = {n.x, n.y, n.z, dot(n, a)};
  f.trusted = ll > kSliver * e1.lengthSquared() * e2.lengthSquared();
  f.scale = std::max({largest(a), largest(b), largest(c)});
  const Vec3 corners[3] = {a, b, c};
  for (std::size_t k = 0; k < 3; ++k) {
    const Vec3& from = corners[k];
    Vec3 out = cross(corners[(k + 1) % 3] - from, n);
    const double oo = out.lengthSquared();
    if (!(oo > 0.0)) {
      f.trusted = false;
      continue;
    }
    out /= std::sqrt(oo);
    std::array<double, 4>& edge = f.edges[k];
    edge = {out.x, out.y, out.z, dot(out, from)};
    if (above(edge, corners[(k + 2) % 3]) > 0.0) {
      edge = {-out.x, -out.y, -out.z, -edge[3]};
    }
  }
  return f;
}

// Whether the point can come within the thickness of the solid's triangle (near pass) or
// pass through its plane (crossing passes). By the face's plane alone, as every pair is first
// judged; then, where the face is no sliver, by how far the point keeps off its planes.
FaceReach faceReach(const SolidFace& f, const Vec3& from, const Vec3& to, double gap,
                    bool nearPass) {
  const FaceReach any;
  if (f.plane[0] == 0.0 && f.plane[1] == 0.0 && f.plane[2] == 0.0) {
    return any;
  }
  const double after = above(f.plane, to);
  const double touching = kTouching * gap;
  const double before = above(f.plane, from);
  const bool apart =
      (before > touching && after > touching) || (before < -touching && after < -touching);
  if (!(nearPass && after < gap && after > -gap) && apart) {
    return {false, false};
  }
  const double scale = std::max({f.scale, largest(from), largest(to)});
  if (!f.trusted || !roundingTrusted(touching, scale)) {
    return any;
  }
  const double clear = kClearOfPlane * touching;
  const double reach = gap + touching;
  FaceReach r;
  r.cross = !((before > clear && after > clear) || (before < -clear && after < -clear));
  r.nearEnd = nearPass && after < reach && after > -reach;
  for (const std::array<double, 4>& edge : f.edges) {
    const double outAfter = above(edge, to);
    r.cross = r.cross && !(outAfter > clear && above(edge, from) > clear);
    r.nearEnd = r.nearEnd && !(outAfter > reach);
  }
  return r;
}

// Each face is met only by the points whose swept boxes come within the margin of its own box,
// the very test a pair passes before anything else, so nothing the pair would do is missed. A
// point whose box keeps clear of the leaf's keeps clear of each face in it, until a meeting moves
// it. The cell's corners bound its triangles and edges the same way for the solid's sharp parts.
void Collider::cellSolid(int cell, int solidNode) {
  const CellParts c = pointsOf(cell);
  const SolidTree::Node& leaf = solidTree_.node(solidNode);
  const double margin = pass_ == Pass::kNear ? settings_.thickness : kTouching * settings_.thickness;
  Box swept[4];
  const auto sweptOf = [this, &c, &swept](int i) { swept[i] = sweptBox(&c.points[i], 1); };
  PartBoxes& boxes = partBoxes_;
  if (boxes.cell != cell) {
    boxes = PartBoxes();
    boxes.cell = cell;
  }
  bound(cell, boxes, false);
  bool reached = false;
  for (int i = 0; i < c.pointCount; ++i) {
    sweptOf(i);
    reached = reached || near(swept[i], leaf.box, margin);
  }
  if (!reached && !(solidTree_.leafOwns(solidNode) && near(boxes.corners, leaf.box, margin))) {
    return;
  }
  for (int k = leaf.first; k < leaf.first + leaf.count; ++k) {
    const std::int32_t t = solidTree_.order()[k];
    const auto& s = solidTriangles_[static_cast<std::size_t>(t)];
    const Box& faceBox = solidTree_.entryBox(k);
    for (int i = 0; i < c.pointCount; ++i) {
      if (!near(swept[i], faceBox, margin)) {
        continue;
      }
      const auto j = static_cast<std::size_t>(c.points[i]);
      const FaceReach reach = faceReach(solidFaces_[static_cast<std::size_t>(t)], start_[j],
                                        end_[j], settings_.thickness, pass_ == Pass::kNear);
      if (reach.cross || reach.nearEnd) {
        const int pair[4] = {c.points[i], solidIndex(s[0]), solidIndex(s[1]), solidIndex(s[2])};
        meet(true, pair, reach);
        sweptOf(i);
      }
    }
    if (solidTree_.owns(t) == 0) {
      continue;
    }
    bound(cell, boxes, false);
    if (near(boxes.corners, faceBox, margin)) {
      sharpParts(cell, t, boxes, margin);
      for (int i = 0; i < c.pointCount; ++i) {
        sweptOf(i);
      }
    }
  }
}

// The boxes of the cell's corners, and with `parts` of its triangles and edges, over their motion
// so far: bounded again only after a meeting that may have moved one (each move counts a push or
// a crossing). They carry over from one leaf to the next while the walk stays in one cell.
void Collider::bound(int cell, PartBoxes& b, bool parts) const {
  const int now = hits_ + moved_;
  if (b.cornersSeen != now) {
    b.cornersSeen = now;
    const int n = cloth_->gridSize;
    const int v = cell % (n - 1) + n * (cell / (n - 1));
    const int corners[4] = {v, v + 1, v + n, v + n + 1};
    b.corners = sweptBox(corners, 4);
  }
  if (!parts || b.partsSeen == now) {
    return;
  }
  if (!b.partsKnown) {
    b.parts = partsOf(cell);
    b.partsKnown = true;
  }
  b.partsSeen = now;
  for (int i = 0; i < b.parts.triangleCount; ++i) {
    b.triangles[i] = sweptBox(b.parts.triangles[i], 3);
  }
  for (int i = 0; i < b.parts.edgeCount; ++i) {
    b.edges[i] = sweptBox(b.parts.edges[i], 2);
  }
}

// The box the particles sweep over their motion so far.
Box Collider::sweptBox(const int* particles, int count) const {
  Box box;
  for (int i = 0; i < count; ++i) {
    box.add(start_[static_cast<std::size_t>(particles[i])]);
    box.add(end_[static_cast<std::size_t>(particles[i])]);
  }
  return box;
}

// What a part of the cloth (`count` corners) may still do against a solid point or edge in the
// face's plane: as faceReach, by that plane alone. A part whose corners all keep well to one side
// of the plane through the motion keeps as far from everything in it.
FaceReach Collider::planeReach(const SolidFace& f, const int* corners, int count) const {
  if (!f.trusted) {
    return {};
  }
  const double touching = kTouching * settings_.thickness;
  double scale = f.scale;
  double lowest = 1e300;
  double highest = -1e300;
  double lowestEnd = 1e300;
  double highestEnd = -1e300;
  for (int i = 0; i < count; ++i) {
    const Vec3& from = start_[static_cast<std::size_t>(corners[i])];
    const Vec3& to = end_[static_cast<std::size_t>(corners[i])];
    const double before = above(f.plane, from);
    const double after = above(f.plane, to);
    lowest = std::min({lowest, before, after});
    highest = std::max({highest, before, after});
    lowestEnd = std::min(lowestEnd, after);
    highestEnd = std::max(highestEnd, after);
    scale = std::max({scale, largest(from), largest(to)});
  }
  if (!roundingTrusted(touching, scale)) {
    return {};
  }
  const double clear = kClearOfPlane * touching;
  const double reach = settings_.thickness + touching;
  return {!(lowest > clear || highest < -clear),
          pass_ == Pass::kNear && !(lowestEnd > reach || highestEnd < -reach)};
}

// The solid's sharp corners against the cell's triangles, and its sharp edges against the
// cell's edges. A pair is met only where its two parts' boxes come within the margin, the test
// each meeting starts with, and where the cloth's part comes near the plane of the face the solid's
// part lies in; a solid part that keeps clear of the box of the cell's corners is clear of all.
void Collider::sharpParts(int cell, int triangle, PartBoxes& b, double margin) {
  const auto& s = solidTriangles_[static_cast<std::size_t>(triangle)];
  const SolidFace& face = solidFaces_[static_cast<std::size_t>(triangle)];
  const std::uint8_t slight = solidTree_.slight(triangle);
  const auto owns = static_cast<std::uint8_t>(solidTree_.owns(triangle) &
                                              (settings_.recordedV4 ? ~slight : 0xFFU));
  const CellParts& c = b.parts;
  // A slight part is met for crossings alone.
  const auto reachOf = [&](unsigned bit, bool isNear, const int* corners, int count) {
    FaceReach r = isNear ? planeReach(face, corners, count) : FaceReach{false, false};
    r.nearEnd = r.nearEnd && (slight & bit) == 0;
    return r;
  };
  for (int corner = 0; corner < 3; ++corner) {
    const std::int32_t p = s[static_cast<std::size_t>(corner)];
    const std::int32_t q = s[static_cast<std::size_t>((corner + 1) % 3)];
    const Vec3& a = solidPoints_[static_cast<std::size_t>(p)];
    const Box point{a, a};
    bound(cell, b, true);
    if ((owns & (1U << corner)) != 0 && near(point, b.corners, margin)) {
      for (int i = 0; i < c.triangleCount; ++i) {
        bound(cell, b, true);
        const FaceReach reach =
            reachOf(1U << corner, near(point, b.triangles[i], margin), c.triangles[i], 3);
        if (reach.cross || reach.nearEnd) {
          const int pair[4] = {solidIndex(p), c.triangles[i][0], c.triangles[i][1],
                               c.triangles[i][2]};
          meet(true, pair, reach);
        }
      }
    }
    bound(cell, b, true);
    Box edge = point;
    edge.add(solidPoints_[static_cast<std::size_t>(q)]);
    if ((owns & (8U << corner)) == 0 || !near(edge, b.corners, margin)) {
      continue;
    }
    for (int i = 0; i < c.edgeCount; ++i) {
      bound(cell, b, true);
      const FaceReach reach =
          reachOf(8U << corner, near(b.edges[i], edge, margin), c.edges[i], 2);
      if (reach.cross || reach.nearEnd) {
        const int pair[4] = {c.edges[i][0], c.edges[i][1], solidIndex(p), solidIndex(q)};
        meet(false, pair, reach);
      }
    }
  }
}

}  // namespace vellumry
