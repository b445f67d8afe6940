#include "app/solids.h"

#include <cstdio>
#include <vector>

#include "app/viewer.h"
#include "scene/scene_file.h"
#include "world/mesh_file.h"

namespace vellumry {

namespace {

constexpr int kStatusBadInput = 2;

std::vector<LoadedSolid> solids;
int inForce = -1;

}  // namespace

int loadSolid(const std::string& path, std::string& error) {
  MeshFile file;
  if (!resolveMeshPath(path, "", file, error)) {
    return -1;
  }
  LoadedSolid solid{std::string(meshPath(file)), 0, {}};
  if (!readMeshFile(solid.path, solid.mesh, error)) {
    return -1;
  }
  solid.digest = meshDigest(solid.mesh);
  for (std::size_t i = 0; i < solids.size(); ++i) {
    if (solids[i].path == solid.path && solids[i].digest == solid.digest) {
      return static_cast<int>(i);
    }
  }
  solids.push_back(std::move(solid));
  return static_cast<int>(solids.size()) - 1;
}

const LoadedSolid* loadedSolid(int index) {
  return index >= 0 && index < static_cast<int>(solids.size())
             ? &solids[static_cast<std::size_t>(index)]
             : nullptr;
}

int solidInForce() { return inForce; }

void useSolid(int index) {
  const LoadedSolid* solid = loadedSolid(index);
  if (solid == nullptr && index != -1) {
    return;
  }
  inForce = index;
  scene.meshFile = MeshFile();
  if (solid != nullptr) {
    setMeshPath(scene.meshFile, solid->path);
    scene.meshFile.digest = solid->digest;
  }
  placeSolid();
}

void placeSolid() {
  const LoadedSolid* solid = loadedSolid(inForce);
  collider.setSolid(solid != nullptr ? &solid->mesh : nullptr, scene.world.mesh);
}

int loadSceneSolid() {
  const std::string path(meshPath(scene.meshFile));
  if (path.empty()) {
    return 0;
  }
  std::string error;
  const int index = loadSolid(path, error);
  if (index < 0) {
    std::fprintf(stderr, "vellumry: %s\n", error.c_str());
    return kStatusBadInput;
  }
  useSolid(index);
  return 0;
}

void forgetSolids() {
  solids.clear();
  inForce = -1;
  collider.setSolid(nullptr, scene.world.mesh);
}

}  // namespace vellumry
