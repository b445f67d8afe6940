#pragma once

#include "cloth/cloth.h"
#include "world/world.h"

namespace vellumry {

/// `steps` time steps of dt for a cloth in this world, each taken in `substeps` equal substeps:
/// the wind acts, the cloth stays out of the ball and above the floor, and springs stretched
/// past tearRatio times their rest length break (0: none ever does).
void advanceInWorld(Cloth& cloth, const World& world, double tearRatio, double dt, int substeps,
                    int steps);

}  // namespace vellumry
