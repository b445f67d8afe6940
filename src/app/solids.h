#pragma once

#include <cstdint>
#include <string>

#include "collide/solid_mesh.h"

namespace vellumry {

/// A solid read from its mesh file, kept for the program's life so that a recorded or replayed
/// change of solid reads nothing.
struct LoadedSolid {
  std::string path;  ///< absolute
  std::uint64_t digest = 0;
  SolidMesh mesh;
};

/// Reads the mesh file at path (absolute, or relative to the working directory) and keeps its
/// solid, or finds the same solid from the same file kept already. Allocates: a load, never a
/// step. Returns its index, or -1 with one line in error naming the file.
int loadSolid(const std::string& path, std::string& error);
/// The solid kept as number index, or null.
[[nodiscard]] const LoadedSolid* loadedSolid(int index);
/// The index of the solid in force, or -1.
[[nodiscard]] int solidInForce();
/// Puts solid index in force (-1: none), as a kMesh event does: the scene names its file and
/// digest, the collider meets it where the scene places it. An index never kept changes nothing.
void useSolid(int index);
/// Places the solid in force where the scene says now (after mesh.position, scale or friction).
void placeSolid();
/// Reads the scene's mesh file, if it names one, and puts it in force. Returns 0, or 2 after one
/// line on standard error naming the file.
int loadSceneSolid();
/// Forgets every solid kept: none in force, the collider without one (for tests).
void forgetSolids();

}  // namespace vellumry
