#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cloth/cloth.h"
#include "math/vec3.h"
#include "world/world.h"

namespace vellumry {

/// A particle by its grid coordinates.
struct GridPin {
  std::int16_t column = 0;
  std::int16_t row = 0;
};

/// Most particles a scene may list as pinned: every edge of the largest grid.
inline constexpr int kMaxPins = 4 * kMaxGridSize;

/// The particles pinned when the cloth is built: by default the two mount points, (0, 0) and
/// (0, n - 1), whatever the grid; otherwise exactly those listed (none at all included).
struct PinList {
  bool mounts = true;  ///< the default: the two mount points
  int count = 0;       ///< entries of at in use when not mounts
  std::array<GridPin, kMaxPins> at{};
};

/// Longest path of a solid's mesh file, in bytes.
inline constexpr int kMaxMeshPath = 1023;

/// The solid's mesh file, held in a fixed buffer so that copying a scene never allocates.
struct MeshFile {
  std::array<char, kMaxMeshPath + 1> path{};  ///< empty: no solid; absolute once the scene is read
  std::uint64_t digest = 0;  ///< of the solid read from it (meshDigest); 0 until it is read
};

/// Where the camera stands: it looks at target from distance away, turned azimuth degrees about
/// the vertical (0: from -z, as the program has always looked) and raised elevation degrees
/// above the horizontal. The target is in the frame the view turns in: y up, the axis the Rotate
/// drag turns the scene about vertical through the origin, the middle of the mount line at
/// (0, 2.5, 0).
struct View {
  double azimuth = 0.0;
  double elevation = 0.0;
  double distance = 13.0;
  Vec3 target;
  double fov = 30.0;  ///< vertical field of view, degrees
};

/// Nearest and farthest the camera stands from its target, world units: beyond the projection's
/// near plane (1) and well inside its far one (100).
inline constexpr double kMinViewDistance = 2.0;
inline constexpr double kMaxViewDistance = 80.0;
/// Steepest the camera looks, degrees: a view straight down would have no up direction.
inline constexpr double kMaxElevation = 89.0;

/// How the cloth looks: its two sides' colours and a picture printed on both.
struct ClothLook {
  Vec3 colour{0.0, 1.0, 0.8};      ///< the side seen at the start, lit in this diffuse colour
  Vec3 backColour{0.0, 1.0, 0.8};  ///< the other side
  MeshFile texture;                ///< a PNG file, held as the mesh file is (its digest unused)
};

/// Every physical value of a run, each with its default: the program's own constants, and a
/// world that does not act.
struct Scene {
  int grid = 15;  ///< particles per side
  double width = 3.0;
  ClothMaterial material;
  double step = 0.05;    ///< time step, before any split into substeps
  int stepsPerTick = 2;  ///< time steps per 20 ms tick
  World world;
  double tearRatio = 0.0;  ///< a spring breaks past this multiple of its rest length; 0: never
  PinList pins;
  MeshFile meshFile;
  View view;
  ClothLook look;
};

/// kBool: a TOML boolean, held as 0 or 1.
enum class ParamType : std::uint8_t { kInt, kNumber, kVector, kBool };

/// One scene parameter: its key ("table.name"), range, help, and how to read and write it. A
/// value is held as a Vec3: a number or an integer in x, a vector whole. The range bounds each
/// component.
struct Param {
  std::string_view table;
  std::string_view name;
  std::string_view key;
  ParamType type;
  double least;
  double most;
  bool rebuilds;  ///< a change builds the cloth afresh instead of acting on it at once
  std::string_view help;
  Vec3 (*get)(const Scene&);
  void (*set)(Scene&, const Vec3&);
};

/// The table of every parameter, in the order scene files and the panel list them.
[[nodiscard]] std::span<const Param> sceneParams();
/// The parameter with this key, or -1.
[[nodiscard]] int findParam(std::string_view key);
/// Whether a value lies in the parameter's range, finite, and whole for an integer.
[[nodiscard]] bool inRange(const Param& param, const Vec3& value);
/// "from 2 to 256", "each component from -100 to 100", for messages.
[[nodiscard]] std::string rangeText(const Param& param);

/// Most substeps a time step may be split into.
inline constexpr int kMaxSubsteps = 64;
/// The fewest equal substeps of each time step that keep the scene's integrator stable.
[[nodiscard]] int substepsFor(const Scene& scene);
/// Whether every value is in range and the scene needs at most kMaxSubsteps; if not, why.
[[nodiscard]] bool checkScene(const Scene& scene, std::string& why);
/// The key of the pin list in scene files and --set; it is not in sceneParams().
inline constexpr std::string_view kPinsKey = "cloth.pins";
/// Adds (column, row) to the list, leaving the default first; false when the list is full or a
/// coordinate lies outside the largest grid.
bool addPin(PinList& pins, int column, int row);
/// The first listed pin outside the scene's grid or listed before it, or -1; why then says so.
[[nodiscard]] int badPin(const Scene& scene, std::string& why);
/// Whether every listed pin lies inside the grid, each once; if not, why. A whole scene is
/// checked so when it is read; a live change of grid only skips the pins outside it.
[[nodiscard]] bool checkPins(const Scene& scene, std::string& why);
/// The key of the mesh file in scene files and --set; it is not in sceneParams().
inline constexpr std::string_view kMeshFileKey = "mesh.file";
/// Puts path in the buffer, digest 0; false (the file left as it was) when it is too long or
/// holds a NUL.
bool setMeshPath(MeshFile& file, std::string_view path);
[[nodiscard]] std::string_view meshPath(const MeshFile& file);
/// The key of the cloth's picture in scene files and --set; it is not in sceneParams().
inline constexpr std::string_view kTextureKey = "cloth.texture";
/// Most pixels a side of the cloth's picture may have.
inline constexpr int kMaxTextureSide = 4096;
/// Whether a change of the parameter changes only the picture (the view and the colours), not the
/// cloth or the world.
[[nodiscard]] bool changesOnlyPicture(const Param& param);
/// Whether the two views are the same, bit for bit.
[[nodiscard]] bool sameView(const View& a, const View& b);
/// Whether the cloth and its world are the program's own: every parameter but the view and the
/// colours at its default, the default pins and no mesh file.
[[nodiscard]] bool isDefaultSimulation(const Scene& scene);
/// Whether every parameter has its default value and there is no mesh file and no texture.
[[nodiscard]] bool isDefaultScene(const Scene& scene);

}  // namespace vellumry
