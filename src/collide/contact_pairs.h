#pragma once

#include "math/vec3.h"

namespace vellumry {

/// A corner of a contact: where it was at the start of the motion, where it is now, and its
/// inverse mass (0: it does not yield, like a pinned particle or a solid's point).
struct Corner {
  Vec3 start;
  Vec3 end;
  double inverseMass = 0.0;
};

/// A solid's point as a pair's corner names it: below 0, where the cloth's particles are 0 or more.
[[nodiscard]] constexpr int solidIndex(int point) { return -1 - point; }

/// Four corners of a point and a triangle (point first) or of two edges (both ends of one, then
/// of the other), and how they must move apart: along `normal`, the weighted sum of the corners'
/// end positions must reach `target`.
struct Contact {
  Vec3 normal;
  double weights[4] = {0.0, 0.0, 0.0, 0.0};
  double target = 0.0;
};

/// Coplanar corners nearer than this share of the gap touch: it errs towards finding a crossing.
inline constexpr double kTouching = 0.05;
/// Coordinates beyond this many touching distances make rounding too coarse to trust a cull.
inline constexpr double kTrustedScale = 1e9;
/// Whether rounding at coordinates up to `scale` stays far below the touching distance.
[[nodiscard]] inline bool roundingTrusted(double touching, double scale) {
  return kTrustedScale * touching > 1.0 + scale;
}

/// Whether the boxes two parts of a pair (the first `split` corners, and the rest) sweep over
/// the motion come within `margin` of each other.
[[nodiscard]] bool partsNear(const Corner c[4], int split, double margin);

/// Whether the point crosses the triangle's face during the motion; if so, the contact that
/// keeps it on the side it came from, `gap` away.
bool pointTriangleCrosses(const Corner c[4], double gap, Contact& contact);
/// Whether the two edges pass through each other during the motion; the contact as above.
bool edgesCross(const Corner c[4], double gap, Contact& contact);
/// Whether the point ends nearer the triangle than gap; the contact that brings it to gap, on
/// the side it started from.
bool pointTriangleNear(const Corner c[4], double gap, Contact& contact);
/// Whether the edges end nearer each other than gap; the contact as above.
bool edgesNear(const Corner c[4], double gap, Contact& contact);

/// Whether the contact is broken at the corners' end positions by more than `slack`.
[[nodiscard]] bool violated(const Corner c[4], const Contact& contact, double slack);
/// Moves the corners' end positions, each by its share of inverse mass, until the contact holds;
/// false (nothing moved) when no corner can yield.
bool enforce(Corner c[4], const Contact& contact);

}  // namespace vellumry
