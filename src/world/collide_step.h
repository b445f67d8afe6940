#pragma once

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "world/world.h"

namespace vellumry {

/// Share of the rest spacing kept as the thickness where the cloth meets itself or a solid and
/// collision.thickness is 0.
inline constexpr double kDefaultThicknessShare = 0.2;

/// Largest share of the rest spacing kept between layers of the cloth. Parts of one flat sheet
/// that share no corner lie at least about 0.7 of the spacing apart, and a layer thicker than
/// that would push the sheet apart from itself; a patch is passed over as flat on the same
/// reckoning (below a third).
inline constexpr double kMostLayerShare = 1.0 / 3.0;

/// The distance the contacts keep in this world for this cloth: collision.thickness, or with it
/// 0, a fifth of the rest spacing when the cloth meets itself or a solid; 0: no contacts run.
[[nodiscard]] double contactThickness(const World& world, const Cloth& cloth, bool solid);
/// What the cloth keeps between its own layers for a contact thickness h: h, at most
/// kMostLayerShare of the rest spacing.
[[nodiscard]] double layerThickness(const Cloth& cloth, double h);

/// advanceInWorld, and then, where the world has a thickness, self-collision or a solid, the
/// contacts over the tick's motion: the particles keep the thickness from the ball and the floor
/// in every substep, and the collider the triangles from the solids and from each other.
/// Without any of these it is advanceInWorld alone, bit for bit.
void advanceColliding(Cloth& cloth, const World& world, Collider& collider, double tearRatio,
                      double dt, int substeps, int steps);

}  // namespace vellumry
