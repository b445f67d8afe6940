#include "collide/contact_pairs.h"

#include <algorithm>
#include <cmath>

#include "collide/bounds.h"
#include "collide/contact_geometry.h"

namespace vellumry {

namespace {

double separation(const Corner c[4], const Contact& k, bool atStart) {
  double sum = 0.0;
  for (int i = 0; i < 4; ++i) {
    sum += k.weights[i] * dot(atStart ? c[i].start : c[i].end, k.normal);
  }
  return sum;
}

// Points the normal to the side the weighted corners started on; started level, against the
// way they moved.
void orient(const Corner c[4], Contact& k) {
  const double before = separation(c, k, true);
  const double moved = separation(c, k, false) - before;
  if (before < 0.0 || (before == 0.0 && moved > 0.0)) {
    k.normal = -k.normal;
  }
}

bool unit(Vec3& v) {
  const double ll = v.lengthSquared();
  if (!(ll > 0.0)) {
    return false;
  }
  v /= std::sqrt(ll);
  return true;
}

void setPointWeights(Contact& k, const TrianglePoint& w) {
  k.weights[0] = 1.0;
  k.weights[1] = -w.wa;
  k.weights[2] = -w.wb;
  k.weights[3] = -w.wc;
}

void setEdgeWeights(Contact& k, const SegmentPoints& s) {
  k.weights[0] = 1.0 - s.s;
  k.weights[1] = s.s;
  k.weights[2] = -(1.0 - s.t);
  k.weights[3] = -s.t;
}

Vec3 at(const Corner& c, double t) { return along(c.start, c.end, t); }

// Whether the two parts (the first `split` corners, and the rest) may come within `touching` of
// each other over the motion: false only where the boxes they sweep keep so far apart that no
// rounding of the checks below could bring them that near.
bool mayTouch(const Corner c[4], int split, double touching) {
  if (partsNear(c, split, 2.0 * touching)) {
    return true;
  }
  double scale = 0.0;
  for (int i = 0; i < 4; ++i) {
    for (const Vec3& p : {c[i].start, c[i].end}) {
      scale = std::max({scale, std::abs(p.x), std::abs(p.y), std::abs(p.z)});
    }
  }
  return !roundingTrusted(touching, scale);
}

}  // namespace

bool partsNear(const Corner c[4], int split, double margin) {
  Box a;
  Box b;
  for (int i = 0; i < 4; ++i) {
    (i < split ? a : b).add(c[i].start);
    (i < split ? a : b).add(c[i].end);
  }
  return near(a, b, margin);
}

bool pointTriangleCrosses(const Corner c[4], double gap, Contact& contact) {
  if (!mayTouch(c, 1, kTouching * gap)) {
    return false;
  }
  double times[3];
  const int count = coplanarTimes(c[2].start - c[1].start, c[2].end - c[1].end,
                                  c[3].start - c[1].start, c[3].end - c[1].end,
                                  c[0].start - c[1].start, c[0].end - c[1].end, times);
  const double touching = kTouching * gap;
  for (int i = 0; i < count; ++i) {
    const Vec3 p = at(c[0], times[i]);
    const Vec3 a = at(c[1], times[i]);
    const Vec3 b = at(c[2], times[i]);
    const Vec3 q = at(c[3], times[i]);
    const TrianglePoint w = nearestOnTriangle(p, a, b, q);
    if ((p - pointOf(w, a, b, q)).lengthSquared() > touching * touching) {
      continue;
    }
    contact.normal = cross(b - a, q - a);
    if (!unit(contact.normal)) {
      continue;
    }
    setPointWeights(contact, w);
    contact.target = gap;
    orient(c, contact);
    return true;
  }
  return false;
}

bool edgesCross(const Corner c[4], double gap, Contact& contact) {
  if (!mayTouch(c, 2, kTouching * gap)) {
    return false;
  }
  double times[3];
  const int count = coplanarTimes(c[1].start - c[0].start, c[1].end - c[0].end,
                                  c[3].start - c[2].start, c[3].end - c[2].end,
                                  c[2].start - c[0].start, c[2].end - c[0].end, times);
  const double touching = kTouching * gap;
  for (int i = 0; i < count; ++i) {
    const Vec3 p0 = at(c[0], times[i]);
    const Vec3 p1 = at(c[1], times[i]);
    const Vec3 q0 = at(c[2], times[i]);
    const Vec3 q1 = at(c[3], times[i]);
    const SegmentPoints s = nearestOnSegments(p0, p1, q0, q1);
    if ((along(p0, p1, s.s) - along(q0, q1, s.t)).lengthSquared() > touching * touching) {
      continue;
    }
    contact.normal = cross(p1 - p0, q1 - q0);
    if (!unit(contact.normal)) {  // parallel edges: apart the way they were
      const SegmentPoints s0 = nearestOnSegments(c[0].start, c[1].start, c[2].start, c[3].start);
      contact.normal = along(c[0].start, c[1].start, s0.s) - along(c[2].start, c[3].start, s0.t);
      if (!unit(contact.normal)) {
        continue;
      }
    }
    setEdgeWeights(contact, s);
    contact.target = gap;
    orient(c, contact);
    return true;
  }
  return false;
}

bool pointTriangleNear(const Corner c[4], double gap, Contact& contact) {
  const Vec3& p = c[0].end;
  const TrianglePoint w = nearestOnTriangle(p, c[1].end, c[2].end, c[3].end);
  contact.normal = p - pointOf(w, c[1].end, c[2].end, c[3].end);
  const double dd = contact.normal.lengthSquared();
  if (dd >= gap * gap) {
    return false;
  }
  setPointWeights(contact, w);
  contact.target = gap;
  if (!unit(contact.normal)) {
    contact.normal = cross(c[2].end - c[1].end, c[3].end - c[1].end);
    if (!unit(contact.normal)) {
      return false;
    }
  }
  orient(c, contact);
  return true;
}

bool edgesNear(const Corner c[4], double gap, Contact& contact) {
  const SegmentPoints s = nearestOnSegments(c[0].end, c[1].end, c[2].end, c[3].end);
  contact.normal = along(c[0].end, c[1].end, s.s) - along(c[2].end, c[3].end, s.t);
  const double dd = contact.normal.lengthSquared();
  if (dd >= gap * gap) {
    return false;
  }
  setEdgeWeights(contact, s);
  contact.target = gap;
  if (!unit(contact.normal)) {
    contact.normal = cross(c[1].end - c[0].end, c[3].end - c[2].end);
    if (!unit(contact.normal)) {
      return false;
    }
  }
  orient(c, contact);
  return true;
}

bool violated(const Corner c[4], const Contact& contact, double slack) {
  return separation(c, contact, false) < contact.target - slack;
}

bool enforce(Corner c[4], const Contact& contact) {
  const double missing = contact.target - separation(c, contact, false);
  if (!(missing > 0.0)) {
    return true;
  }
  double yielding = 0.0;
  for (int i = 0; i < 4; ++i) {
    yielding += contact.weights[i] * contact.weights[i] * c[i].inverseMass;
  }
  if (!(yielding > 0.0)) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    const double share = contact.weights[i] * c[i].inverseMass * missing / yielding;
    c[i].end += share * contact.normal;
  }
  return true;
}

}  // namespace vellumry
