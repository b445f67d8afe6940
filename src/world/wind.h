#pragma once

#include <array>
#include <cstdint>

#include "cloth/cloth.h"
#include "math/vec3.h"
#include "world/world.h"

namespace vellumry {

/// Force on a face per unit area and per unit of the air's speed across it.
inline constexpr double kWindCoefficient = 1.0;

/// The gusts' shape, made from the seed alone: three travelling waves, each with its direction
/// and length (turns per unit length), its frequency (turns per second) and its phase.
struct GustField {
  std::array<Vec3, 3> waveVector;
  std::array<double, 3> frequency{};
  std::array<double, 3> phase{};
};

[[nodiscard]] GustField gustField(int seed);
/// The gust at time t and place p: smooth in both, from -1 to 1.
[[nodiscard]] double gustAt(const GustField& field, double t, const Vec3& p);
/// The air's velocity at time t and place p: the wind's, scaled by 1 + gust x gustAt.
[[nodiscard]] Vec3 windAt(const Wind& wind, const GustField& field, double t, const Vec3& p);

/// The wind's force on the cloth at time t into cloth.external: on each living triangle of the
/// surface, coefficient x area x (n . u) n, with n its unit normal and u the air's velocity
/// relative to it (the mean over its corners of the air's velocity less the corner's), a third to
/// each corner. Triangles visited in cell order, so the sums are the same every time.
void blow(Cloth& cloth, const Wind& wind, const GustField& field, double t,
          double coefficient = kWindCoefficient);

}  // namespace vellumry
