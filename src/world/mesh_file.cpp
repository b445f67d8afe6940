#include "world/mesh_file.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "world/isolated_call.h"

namespace vellumry {

namespace {

using Triangle = std::array<std::int32_t, 3>;

constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;
// Node transforms baked into the points, so that a glTF scene stands as its author placed it.
constexpr unsigned kImportFlags =
    aiProcess_ValidateDataStructure | aiProcess_Triangulate | aiProcess_PreTransformVertices;

std::uint64_t mix(std::uint64_t hash, std::uint64_t bits, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    hash = (hash ^ (bits & 0xffU)) * kFnvPrime;
    bits >>= 8U;
  }
  return hash;
}

bool lessPoint(const Vec3& a, const Vec3& b) {
  return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
}

bool samePoint(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// One mesh's points and triangles after those collected so far; false with why on a fault.
bool collectMesh(const aiMesh& mesh, SolidMesh& solid, std::string& why) {
  const auto base = static_cast<std::int32_t>(solid.points.size());
  for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
    const aiVector3D& p = mesh.mVertices[v];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      why = "point " + std::to_string(v + 1) + " is not finite";
      return false;
    }
    solid.points.emplace_back(p.x, p.y, p.z);
  }
  for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
    const aiFace& face = mesh.mFaces[f];
    if (face.mNumIndices != 3) {
      continue;  // points and lines: nothing to meet
    }
    Triangle t{};
    for (std::size_t k = 0; k < 3; ++k) {
      if (face.mIndices[k] >= mesh.mNumVertices) {
        why = "face " + std::to_string(f + 1) + " names point " +
              std::to_string(face.mIndices[k] + 1) + " of " + std::to_string(mesh.mNumVertices);
        return false;
      }
      t[k] = base + static_cast<std::int32_t>(face.mIndices[k]);
    }
    solid.triangles.push_back(t);
  }
  return true;
}

// The scene's triangles over its points, as the file lists them; false with why on a fault.
bool collect(const aiScene& scene, SolidMesh& solid, std::string& why) {
  std::size_t triangles = 0;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh& mesh = *scene.mMeshes[m];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      triangles += mesh.mFaces[f].mNumIndices == 3 ? 1 : 0;
    }
  }
  if (triangles == 0) {
    why = "no faces: not a solid";
    return false;
  }
  if (triangles > static_cast<std::size_t>(kMaxSolidTriangles)) {
    why = std::to_string(triangles) + " triangles, more than the " +
          std::to_string(kMaxSolidTriangles) + " a solid may have";
    return false;
  }
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    if (!collectMesh(*scene.mMeshes[m], solid, why)) {
      return false;
    }
  }
  return true;
}

// Assimp's messages may span lines; one line is kept.
std::string oneLine(const char* text) {
  std::string line = text != nullptr && *text != '\0' ? text : "unknown format";
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

// What the child reads: a file, or bytes in memory.
struct Source {
  const std::string* path = nullptr;
  const void* data = nullptr;
  std::size_t size = 0;
};

template <typename T>
void put(std::string& out, const T* values, std::size_t count) {
  out.append(reinterpret_cast<const char*>(values), count * sizeof(T));
}

template <typename T>
bool take(std::string_view& in, T* values, std::size_t count) {
  if (in.size() < count * sizeof(T)) {
    return false;
  }
  std::memcpy(values, in.data(), count * sizeof(T));
  in.remove_prefix(count * sizeof(T));
  return true;
}

// In the child process: Assimp reads, the file's triangles are checked; "E" and why, or "S", the
// counts and the arrays.
std::string readInChild(const void* context) {
  const Source& source = *static_cast<const Source*>(context);
  Assimp::DefaultLogger::kill();  // Assimp logs nowhere: its null logger
  Assimp::Importer importer;
  const aiScene* scene = source.path != nullptr
                             ? importer.ReadFile(*source.path, kImportFlags)
                             : importer.ReadFileFromMemory(source.data, source.size, kImportFlags);
  SolidMesh soup;
  std::string why;
  if (scene == nullptr) {
    return "Enot a mesh file (" + oneLine(importer.GetErrorString()) + ")";
  }
  if (scene->mNumMeshes == 0) {
    return "Eno mesh in it";
  }
  if (!collect(*scene, soup, why)) {
    return "E" + why;
  }
  std::string out = "S";
  const std::uint64_t counts[2] = {soup.points.size(), soup.triangles.size()};
  put(out, counts, 2);
  put(out, soup.points.data(), soup.points.size());
  put(out, soup.triangles.data(), soup.triangles.size());
  return out;
}

// The child's triangles, checked again: whatever went wrong there, nothing unsound gets here.
bool fromChild(std::string_view in, SolidMesh& soup) {
  std::uint64_t counts[2] = {0, 0};
  if (!take(in, counts, 2) || counts[1] > static_cast<std::uint64_t>(kMaxSolidTriangles) ||
      counts[0] > 3 * counts[1] || in.size() != counts[0] * sizeof(Vec3) + counts[1] * 12) {
    return false;
  }
  soup.points.resize(counts[0]);
  soup.triangles.resize(counts[1]);
  take(in, soup.points.data(), soup.points.size());
  take(in, soup.triangles.data(), soup.triangles.size());
  const auto finite = [](const Vec3& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
  };
  const auto inside = [&](const Triangle& t) {
    return std::all_of(t.begin(), t.end(), [&](std::int32_t i) {
      return i >= 0 && static_cast<std::uint64_t>(i) < counts[0];
    });
  };
  return std::all_of(soup.points.begin(), soup.points.end(), finite) &&
         std::all_of(soup.triangles.begin(), soup.triangles.end(), inside);
}

bool readIsolated(const Source& source, const std::string& name, double seconds, SolidMesh& solid,
                  std::string& error) {
  solid = SolidMesh();
  std::string bytes;
  std::string why;
  const Isolated ending = callIsolated(readInChild, &source, seconds, bytes, why);
  if (ending == Isolated::kTimedOut) {
    why = "the reader took more than " + std::to_string(static_cast<int>(seconds)) +
          " seconds over it: not a mesh file it reads";
  } else if (ending == Isolated::kFailed) {
    why = "the reader failed on it (" + why + "): not a mesh file it reads";
  } else if (!bytes.empty() && bytes[0] == 'E') {
    why = bytes.substr(1);
  } else if (bytes.empty() || !fromChild(std::string_view(bytes).substr(1), solid)) {
    why = "the reader gave no sound triangles: not a mesh file it reads";
    solid = SolidMesh();
  } else {
    canonicalise(solid);
    if (!solid.triangles.empty()) {
      return true;
    }
    why = "no faces of any area: not a solid";
  }
  error = name + ": " + why;
  return false;
}

}  // namespace

bool readMeshFile(const std::string& path, SolidMesh& solid, std::string& error) {
  std::error_code fault;
  if (!std::filesystem::is_regular_file(path, fault)) {
    const bool exists = std::filesystem::exists(path, fault);
    error = path + ": " + (exists ? "not a regular file" : "no such file");
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = path + ": cannot read it: " + std::strerror(errno);
    return false;
  }
  std::fclose(file);
  return readIsolated({&path, nullptr, 0}, path, kMeshReadSeconds, solid, error);
}

bool readMeshBytes(const void* data, std::size_t size, const std::string& name, SolidMesh& solid,
                   std::string& error, double seconds) {
  return readIsolated({nullptr, data, size}, name, seconds, solid, error);
}

void canonicalise(SolidMesh& solid) {
  std::vector<Vec3> points;
  points.reserve(solid.triangles.size() * 3);
  for (const Triangle& t : solid.triangles) {
    for (const std::int32_t i : t) {
      // + 0.0 makes -0 into 0: the same solid whichever zero a format wrote.
      const Vec3& p = solid.points[static_cast<std::size_t>(i)];
      points.emplace_back(p.x + 0.0, p.y + 0.0, p.z + 0.0);
    }
  }
  std::sort(points.begin(), points.end(), lessPoint);
  points.erase(std::unique(points.begin(), points.end(), samePoint), points.end());
  std::vector<Triangle> triangles;
  triangles.reserve(solid.triangles.size());
  for (const Triangle& t : solid.triangles) {
    Triangle u{};
    for (std::size_t k = 0; k < 3; ++k) {
      const Vec3& p = solid.points[static_cast<std::size_t>(t[k])];
      u[k] = static_cast<std::int32_t>(
          std::lower_bound(points.begin(), points.end(), p, lessPoint) - points.begin());
    }
    if (u[0] == u[1] || u[1] == u[2] || u[2] == u[0]) {
      continue;
    }
    // Least index first, the winding kept.
    std::rotate(u.begin(), std::min_element(u.begin(), u.end()), u.end());
    triangles.push_back(u);
  }
  std::sort(triangles.begin(), triangles.end());
  solid.points = std::move(points);
  solid.triangles = std::move(triangles);
}

std::uint64_t meshDigest(const SolidMesh& solid) {
  std::uint64_t hash = kFnvOffset;
  for (const Vec3& p : solid.points) {
    for (const double v : {p.x, p.y, p.z}) {
      hash = mix(hash, std::bit_cast<std::uint64_t>(v), 8);
    }
  }
  for (const Triangle& t : solid.triangles) {
    for (const std::int32_t i : t) {
      hash = mix(hash, static_cast<std::uint32_t>(i), 4);
    }
  }
  return hash;
}

}  // namespace vellumry
