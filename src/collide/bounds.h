#pragma once

#include <algorithm>

#include "math/vec3.h"

namespace vellumry {

/// An axis-aligned box; an empty one has lo above hi.
struct Box {
  Vec3 lo{1e300, 1e300, 1e300};
  Vec3 hi{-1e300, -1e300, -1e300};

  void add(const Vec3& p) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  void add(const Box& b) {
    add(b.lo);
    add(b.hi);
  }
  [[nodiscard]] bool empty() const { return lo.x > hi.x; }
  [[nodiscard]] double size() const { return ((hi.x - lo.x) + (hi.y - lo.y)) + (hi.z - lo.z); }
};

/// Whether the boxes come within `margin` of each other.
[[nodiscard]] inline bool near(const Box& a, const Box& b, double margin) {
  return a.lo.x <= b.hi.x + margin && b.lo.x <= a.hi.x + margin && a.lo.y <= b.hi.y + margin &&
         b.lo.y <= a.hi.y + margin && a.lo.z <= b.hi.z + margin && b.lo.z <= a.hi.z + margin;
}

/// A cone of directions: every normal of a patch lies within `spread` of axis, as cosine and
/// sine of that angle; a cosine of -1 stands for any direction.
struct Cone {
  Vec3 axis;
  double cosSpread = -1.0;
  double sinSpread = 0.0;
};

}  // namespace vellumry
