#pragma once

#include "cloth/cloth.h"

namespace vellumry {

/// The cloth's energies at one moment, and how far its most stretched spring is pulled.
struct ClothEnergy {
  double kinetic = 0.0;     ///< sum of m |v|^2 / 2
  double gravity = 0.0;     ///< sum of -m g . x: zero in the plane y = 0 under the default gravity
  double springs = 0.0;     ///< sum of k (length - rest)^2 / 2
  double maxStretch = 0.0;  ///< largest (length - rest) / rest; negative if every spring is short
};

/// Sums over the particles, then the springs, in pool order: the same bits every time. Allocates
/// nothing; an empty cloth gives all zeros.
[[nodiscard]] ClothEnergy clothEnergy(const Cloth& cloth);

}  // namespace vellumry
