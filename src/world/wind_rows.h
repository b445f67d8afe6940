#pragma once

#include <cstdint>

#include "cloth/cloth_step.h"
#include "world/wind.h"

namespace vellumry {

/// The air's velocity relative to each vertex of the band's rows at time t: windAt less the
/// vertex's velocity, the first step of blow.
void airOfRows(const Wind& wind, const GustField& field, double t, const BandRows& rows);

/// The wind's force on each vertex of the band's rows, from the triangles that meet it (those of
/// the row of cells before it and its own), added in blow's order, so with blow's bits. `alive`:
/// the cloth mesh's living triangles.
void pushOfRows(double coefficient, const std::uint8_t* alive, const BandRows& rows);

}  // namespace vellumry
