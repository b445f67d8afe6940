#pragma once

namespace vellumry {

class Cloth;

/// Grids up to this size step as one plain loop over the pools rather than over arrays. Measured
/// on this machine, the arrays win even at 15 by 15 (their loading and storing cost less than
/// their vectors save), so by default no grid steps flat.
inline constexpr int kFlatGridSize = 0;

/// One step of a cloth whose force list is the grid's own (ClothStepper::accepts), straight over
/// its pools: the same additions in the same order as the system's step, so the same bits.
void flatStep(Cloth& cloth, double dt);

}  // namespace vellumry
