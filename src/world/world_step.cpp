#include "world/world_step.h"

namespace vellumry {

void advanceInWorld(Cloth& cloth, const World& /*world*/, double /*tearRatio*/, double dt,
                    int substeps, int steps) {
  cloth.advance(dt / substeps, steps * substeps);
}

}  // namespace vellumry
