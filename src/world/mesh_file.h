#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "collide/solid_mesh.h"

namespace vellumry {

/// Longest a mesh file may take to read, in seconds.
inline constexpr double kMeshReadSeconds = 20.0;

/// Reads the solid in a mesh file of any format Assimp reads (OBJ, STL, PLY, glTF/GLB, ...),
/// triangulated, into canonical form. Assimp runs in a child process, so that a file that
/// crashes or hangs it is only refused. On a fault returns false with one line in error, "PATH:
/// what is wrong": missing, unreadable, not a mesh, no faces, an index past the vertices, a point
/// that is not finite, more than kMaxSolidTriangles triangles, too long to read.
bool readMeshFile(const std::string& path, SolidMesh& solid, std::string& error);
/// The same from bytes in memory, the format found from them alone; name is for the message.
bool readMeshBytes(const void* data, std::size_t size, const std::string& name, SolidMesh& solid,
                   std::string& error, double seconds = kMeshReadSeconds);
/// Puts triangles over points in the canonical order SolidMesh describes: equal points welded
/// (-0 taken as 0), points unused by any triangle dropped, triangles with a repeated point dropped.
void canonicalise(SolidMesh& solid);
/// FNV-1a (64 bits) over every point (x, y, z, each double as its 8 bytes from the least
/// significant), then every triangle's three indices (4 bytes each, the same way).
[[nodiscard]] std::uint64_t meshDigest(const SolidMesh& solid);

}  // namespace vellumry
