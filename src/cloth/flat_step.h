#pragma once

namespace vellumry {

class Cloth;

/// Grids up to this size step faster as one plain loop over the pools than over arrays: the
/// arrays' loading and storing cost more than their vectors save.
inline constexpr int kFlatGridSize = 20;

/// One step of a cloth whose force list is the grid's own (ClothStepper::accepts), straight over
/// its pools: the same additions in the same order as the system's step, so the same bits.
void flatStep(Cloth& cloth, double dt);

}  // namespace vellumry
