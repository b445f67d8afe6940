// libFuzzer target: any bytes as a mesh file, its format found from the bytes alone. Nothing may
// crash the reader (Assimp, in its child process, may crash or hang on a file: the reader then
// refuses it, after a second for the fuzzer's sake), and what it accepts must be a canonical solid:
// finite points in strictly increasing order, every triangle three different indices into them, the
// least first, the triangles sorted, at most kMaxSolidTriangles of them.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "world/mesh_file.h"

namespace {

using vellumry::SolidMesh;
using vellumry::Vec3;

bool before(const Vec3& a, const Vec3& b) {
  return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
}

bool canonical(const SolidMesh& solid) {
  const auto size = static_cast<std::int32_t>(solid.points.size());
  for (std::size_t i = 0; i < solid.points.size(); ++i) {
    const Vec3& p = solid.points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) ||
        (i > 0 && !before(solid.points[i - 1], p))) {
      return false;
    }
  }
  for (const auto& t : solid.triangles) {
    if (t[0] < 0 || t[0] >= t[1] || t[0] >= t[2] || t[1] == t[2] || t[1] >= size || t[2] >= size) {
      return false;
    }
  }
  return !solid.triangles.empty() &&
         solid.triangles.size() <= static_cast<std::size_t>(vellumry::kMaxSolidTriangles) &&
         std::is_sorted(solid.triangles.begin(), solid.triangles.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SolidMesh solid;
  std::string error;
  constexpr double kSeconds = 1.0;
  if (vellumry::readMeshBytes(data, size, "fuzz", solid, error, kSeconds) && !canonical(solid)) {
    std::abort();
  }
  return 0;
}
