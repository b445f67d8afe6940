#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "output/pending_file.h"
#include "output/world_mesh.h"

namespace vellumry {

/// The cloth as a Wavefront OBJ mesh at its first frame and its motion as a PC2 point cache
/// beside it (OUT.obj, OUT.pc2). A frame of another grid size than the last begins a new pair
/// with a numbered name: OUT-2.obj and OUT-2.pc2, then OUT-3, ... Every file is written under a
/// temporary name and renamed into place by finish. The ball and the floor, when a pair's first
/// frame has them, follow the cloth in its OBJ as objects "ball" and "floor"; if the ball moves or
/// changes size in the pair, its own point cache is written beside it: OUT-ball.pc2,
/// OUT-2-ball.pc2.
class MeshExport final {
 public:
  MeshExport() = default;
  ~MeshExport();
  MeshExport(const MeshExport&) = delete;
  MeshExport& operator=(const MeshExport&) = delete;

  /// objPath ends in ".obj"; replace lets finish overwrite existing files. Creates the first
  /// pair's temporary files, so that an unwritable place is found before any work.
  bool open(const std::string& objPath, bool replace, std::string& error);
  /// Whether a frame of a grid this size begins a new pair of files, and so needs its normals.
  [[nodiscard]] bool startsPair(int gridSize) const;
  /// One frame, shown at tick: gridSize squared points, x y z each, in grid order (column +
  /// gridSize * row). normals has the same layout and is read only when the frame starts a pair;
  /// so is whether the world has a ball and a floor.
  bool addFrame(int gridSize, std::uint64_t tick, std::span<const float> positions,
                std::span<const float> normals, std::string& error,
                const WorldFrame& world = WorldFrame());
  /// Completes every file and renames it into place.
  bool finish(std::string& error);
  /// Removes every file written so far.
  void discard();
  /// Pairs begun so far.
  [[nodiscard]] int pairs() const { return static_cast<int>(obj_.size()); }

  /// The name of pair number (1, 2, ...) with this extension (".obj" or ".pc2").
  static std::string pairName(const std::string& objPath, int pair, const char* extension);

 private:
  bool beginPair(int gridSize, std::uint64_t tick, std::span<const float> positions,
                 std::span<const float> normals, const WorldFrame& world, std::string& error);
  bool addBallFrame(const WorldFrame& world, std::string& error);
  bool createPair(int pair, std::string& error);
  bool closeCache(std::string& error);

  std::string objPath_;
  bool replace_ = false;
  std::vector<PendingFile> obj_;
  std::vector<PendingFile> pc2_;
  std::FILE* cache_ = nullptr;  ///< the current pair's point cache, open for writing
  int gridSize_ = 0;
  std::int32_t samples_ = 0;
  std::vector<unsigned char> bytes_;  ///< one frame, little-endian
  std::vector<PendingFile> ballPc2_;  ///< per pair; no temporary when the pair has no ball
  std::FILE* ballCache_ = nullptr;
  WorldFrame firstBall_;  ///< the ball at the pair's first frame
  bool ballMoved_ = false;
};

}  // namespace vellumry
