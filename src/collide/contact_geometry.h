#pragma once

#include "math/vec3.h"

namespace vellumry {

[[nodiscard]] constexpr Vec3 plus(const Vec3& a, const Vec3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
[[nodiscard]] constexpr double dot(const Vec3& a, const Vec3& b) {
  return (a.x * b.x + a.y * b.y) + a.z * b.z;
}
/// The point a share t of the way from a to b.
[[nodiscard]] constexpr Vec3 along(const Vec3& a, const Vec3& b, double t) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

/// The point of triangle abc nearest p, as weights of a, b and c (summing to 1).
struct TrianglePoint {
  double wa = 1.0;
  double wb = 0.0;
  double wc = 0.0;
};
[[nodiscard]] TrianglePoint nearestOnTriangle(const Vec3& p, const Vec3& a, const Vec3& b,
                                              const Vec3& c);
[[nodiscard]] Vec3 pointOf(const TrianglePoint& w, const Vec3& a, const Vec3& b, const Vec3& c);

/// The nearest points of segments p0 p1 and q0 q1, at shares s and t along them.
struct SegmentPoints {
  double s = 0.0;
  double t = 0.0;
};
[[nodiscard]] SegmentPoints nearestOnSegments(const Vec3& p0, const Vec3& p1, const Vec3& q0,
                                              const Vec3& q1);

/// Times in [0, 1] at which (a x b) . c vanishes, each of a, b, c moving linearly from its value
/// at 0 to its value at 1: the instants four moving points are coplanar. Up to three, earliest
/// first, each found by a fixed number of bisections of a sign change between the cubic's turning
/// points, so the same motion always gives the same times. Returns how many.
int coplanarTimes(const Vec3& a0, const Vec3& a1, const Vec3& b0, const Vec3& b1, const Vec3& c0,
                  const Vec3& c1, double times[3]);

}  // namespace vellumry
