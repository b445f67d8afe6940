#pragma once

#include <array>

#include "math/vec3.h"

namespace vellumry {

/// A solid triangle's planes, as unit normal and offset: its face's, and for each edge the one
/// through the edge square to the face, facing out. `trusted`: no sliver, so the planes hold to
/// rounding; `scale`: its largest coordinate.
struct SolidFace {
  std::array<double, 4> plane{};
  std::array<std::array<double, 4>, 3> edges{};
  double scale = 0.0;
  bool trusted = false;
};

/// What a cloth point and a solid face may still do over the point's motion: cross, and (in the
/// near pass) end nearer than the thickness. Neither: the pair is not met at all.
struct FaceReach {
  bool cross = true;
  bool nearEnd = true;
};

[[nodiscard]] SolidFace faceOf(const Vec3& a, const Vec3& b, const Vec3& c);

/// For a point moving from `from` to `to` against the face, with the contacts' thickness `gap`:
/// never a crossing or a near end that the checks themselves would find is ruled out.
[[nodiscard]] FaceReach faceReach(const SolidFace& f, const Vec3& from, const Vec3& to, double gap,
                                  bool nearPass);

}  // namespace vellumry
