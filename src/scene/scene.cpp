#include "scene/scene.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>

namespace vellumry {

namespace {

Vec3 number(double v) { return {v, 0.0, 0.0}; }

// Thickest layer kept between cloth and anything, in world units: a third of the default cloth.
constexpr double kMaxThickness = 1.0;

// Besides its range, the tear ratio may be 0: springs never break.
constexpr std::string_view kTearKey = "tear.ratio";

constexpr std::array<Param, 33> kParams = {{
    {"cloth", "grid", "cloth.grid", ParamType::kInt, 2, 256, true, "particles per side",
     [](const Scene& s) { return number(s.grid); },
     [](Scene& s, const Vec3& v) { s.grid = static_cast<int>(v.x); }},
    {"cloth", "width", "cloth.width", ParamType::kNumber, 0.5, 10, true,
     "side of the square cloth, world units", [](const Scene& s) { return number(s.width); },
     [](Scene& s, const Vec3& v) { s.width = v.x; }},
    {"cloth", "mass", "cloth.mass", ParamType::kNumber, 0.1, 10000, false,
     "the whole cloth's mass, shared by its particles",
     [](const Scene& s) { return number(s.material.mass); },
     [](Scene& s, const Vec3& v) { s.material.mass = v.x; }},
    {"cloth", "stiffness", "cloth.stiffness", ParamType::kNumber, 0, 10000, false,
     "springs along rows and columns, force per unit of stretch",
     [](const Scene& s) { return number(s.material.stiffness); },
     [](Scene& s, const Vec3& v) { s.material.stiffness = v.x; }},
    {"cloth", "shear", "cloth.shear", ParamType::kNumber, 0, 10000, false, "diagonal springs",
     [](const Scene& s) { return number(s.material.shear); },
     [](Scene& s, const Vec3& v) { s.material.shear = v.x; }},
    {"cloth", "bend", "cloth.bend", ParamType::kNumber, 0, 10000, false,
     "springs joining particles two apart along rows and columns; 0: none",
     [](const Scene& s) { return number(s.material.bend); },
     [](Scene& s, const Vec3& v) { s.material.bend = v.x; }},
    {"cloth", "drag", "cloth.drag", ParamType::kNumber, 0, 1000, false,
     "the whole cloth's linear air drag, force per unit velocity",
     [](const Scene& s) { return number(s.material.drag); },
     [](Scene& s, const Vec3& v) { s.material.drag = v.x; }},
    {"world", "gravity", "world.gravity", ParamType::kVector, -100, 100, false,
     "acceleration of gravity, x, y, z (y is up)",
     [](const Scene& s) { return s.material.gravity; },
     [](Scene& s, const Vec3& v) { s.material.gravity = v; }},
    {"time", "step", "time.step", ParamType::kNumber, 0.001, 0.2, false,
     "time step, split into substeps as stability needs",
     [](const Scene& s) { return number(s.step); }, [](Scene& s, const Vec3& v) { s.step = v.x; }},
    {"time", "steps_per_tick", "time.steps_per_tick", ParamType::kInt, 1, 20, false,
     "time steps per 20 ms tick", [](const Scene& s) { return number(s.stepsPerTick); },
     [](Scene& s, const Vec3& v) { s.stepsPerTick = static_cast<int>(v.x); }},
    {"wind", "velocity", "wind.velocity", ParamType::kVector, -100, 100, false,
     "the air's velocity, x, y, z; 0, 0, 0: still air",
     [](const Scene& s) { return s.world.wind.velocity; },
     [](Scene& s, const Vec3& v) { s.world.wind.velocity = v; }},
    {"wind", "gust", "wind.gust", ParamType::kNumber, 0, 1, false,
     "how much gusts vary the wind over time and space; 0: steady",
     [](const Scene& s) { return number(s.world.wind.gust); },
     [](Scene& s, const Vec3& v) { s.world.wind.gust = v.x; }},
    {"wind", "seed", "wind.seed", ParamType::kInt, 0, 2147483647, false,
     "the gusts' pattern: the same seed, the same gusts",
     [](const Scene& s) { return number(s.world.wind.seed); },
     [](Scene& s, const Vec3& v) { s.world.wind.seed = static_cast<int>(v.x); }},
    {"ball", "enabled", "ball.enabled", ParamType::kBool, 0, 1, false, "whether the ball is there",
     [](const Scene& s) { return number(s.world.ball.enabled ? 1.0 : 0.0); },
     [](Scene& s, const Vec3& v) { s.world.ball.enabled = v.x != 0.0; }},
    {"ball", "centre", "ball.centre", ParamType::kVector, -100, 100, false,
     "the ball's centre, x, y, z (the cloth is built in y = 0, from 0 to its width in x and z)",
     [](const Scene& s) { return s.world.ball.centre; },
     [](Scene& s, const Vec3& v) { s.world.ball.centre = v; }},
    {"ball", "radius", "ball.radius", ParamType::kNumber, 0.01, 100, false, "the ball's radius",
     [](const Scene& s) { return number(s.world.ball.radius); },
     [](Scene& s, const Vec3& v) { s.world.ball.radius = v.x; }},
    {"ball", "friction", "ball.friction", ParamType::kNumber, 0, 1, false,
     "share of its sliding speed cloth touching the ball loses",
     [](const Scene& s) { return number(s.world.ball.friction); },
     [](Scene& s, const Vec3& v) { s.world.ball.friction = v.x; }},
    {"floor", "enabled", "floor.enabled", ParamType::kBool, 0, 1, false,
     "whether the floor is there",
     [](const Scene& s) { return number(s.world.floor.enabled ? 1.0 : 0.0); },
     [](Scene& s, const Vec3& v) { s.world.floor.enabled = v.x != 0.0; }},
    {"floor", "height", "floor.height", ParamType::kNumber, -100, 100, false,
     "the floor's height (the cloth is built at 0 and hangs below it)",
     [](const Scene& s) { return number(s.world.floor.height); },
     [](Scene& s, const Vec3& v) { s.world.floor.height = v.x; }},
    {"floor", "friction", "floor.friction", ParamType::kNumber, 0, 1, false,
     "share of its sliding speed cloth touching the floor loses",
     [](const Scene& s) { return number(s.world.floor.friction); },
     [](Scene& s, const Vec3& v) { s.world.floor.friction = v.x; }},
    {"tear", "ratio", kTearKey, ParamType::kNumber, 1, 100, false,
     "a spring breaks when stretched past this multiple of its rest length; 0: never",
     [](const Scene& s) { return number(s.tearRatio); },
     [](Scene& s, const Vec3& v) { s.tearRatio = v.x; }},
    {"collision", "thickness", "collision.thickness", ParamType::kNumber, 0, kMaxThickness, false,
     "distance kept between layers of cloth and from every solid (ball, floor, mesh); 0: none",
     [](const Scene& s) { return number(s.world.collision.thickness); },
     [](Scene& s, const Vec3& v) { s.world.collision.thickness = v.x; }},
    {"collision", "self", "collision.self", ParamType::kBool, 0, 1, false,
     "whether the cloth keeps from passing through itself",
     [](const Scene& s) { return number(s.world.collision.self ? 1.0 : 0.0); },
     [](Scene& s, const Vec3& v) { s.world.collision.self = v.x != 0.0; }},
    {"mesh", "position", "mesh.position", ParamType::kVector, -100, 100, false,
     "where the solid's own origin stands, x, y, z, in the cloth's coordinates",
     [](const Scene& s) { return s.world.mesh.position; },
     [](Scene& s, const Vec3& v) { s.world.mesh.position = v; }},
    {"mesh", "scale", "mesh.scale", ParamType::kNumber, 0.001, 1000, false,
     "the solid's size: the units of its file times this",
     [](const Scene& s) { return number(s.world.mesh.scale); },
     [](Scene& s, const Vec3& v) { s.world.mesh.scale = v.x; }},
    {"mesh", "friction", "mesh.friction", ParamType::kNumber, 0, 1, false,
     "share of its sliding speed cloth touching the solid loses",
     [](const Scene& s) { return number(s.world.mesh.friction); },
     [](Scene& s, const Vec3& v) { s.world.mesh.friction = v.x; }},
    {"view", "azimuth", "view.azimuth", ParamType::kNumber, -360, 360, false,
     "the camera's turn about the vertical through the target, degrees; 0: from -z",
     [](const Scene& s) { return number(s.view.azimuth); },
     [](Scene& s, const Vec3& v) { s.view.azimuth = v.x; }},
    {"view", "elevation", "view.elevation", ParamType::kNumber, -90, 90, false,
     "the camera's height above the horizontal through the target, degrees (kept within 89)",
     [](const Scene& s) { return number(s.view.elevation); },
     [](Scene& s, const Vec3& v) { s.view.elevation = v.x; }},
    {"view", "distance", "view.distance", ParamType::kNumber, kMinViewDistance, kMaxViewDistance,
     false, "the camera's distance from the target, world units",
     [](const Scene& s) { return number(s.view.distance); },
     [](Scene& s, const Vec3& v) { s.view.distance = v.x; }},
    {"view", "target", "view.target", ParamType::kVector, -100, 100, false,
     "the point looked at, x, y, z (y up; the mount line's middle is at 0, 2.5, 0)",
     [](const Scene& s) { return s.view.target; },
     [](Scene& s, const Vec3& v) { s.view.target = v; }},
    {"view", "fov", "view.fov", ParamType::kNumber, 5, 120, false,
     "the camera's vertical field of view, degrees",
     [](const Scene& s) { return number(s.view.fov); },
     [](Scene& s, const Vec3& v) { s.view.fov = v.x; }},
    {"cloth", "colour", "cloth.colour", ParamType::kVector, 0, 1, false,
     "the colour of the side seen at the start, red, green, blue",
     [](const Scene& s) { return s.look.colour; },
     [](Scene& s, const Vec3& v) { s.look.colour = v; }},
    {"cloth", "back_colour", "cloth.back_colour", ParamType::kVector, 0, 1, false,
     "the colour of the other side, red, green, blue",
     [](const Scene& s) { return s.look.backColour; },
     [](Scene& s, const Vec3& v) { s.look.backColour = v; }},
}};

// Stability of the integrator (v += h F / m, then x += h v / 2) on a particle of mass m held by
// springs of total stiffness K: a stiff mode of rate w = sqrt(K / m) grows once h w passes about
// 2.3 (measured with the default cloth: n = 18, at h w = 2.26, stays finite; n = 19, at 2.38,
// diverges). kSpringLimit leaves about 10 % to spare. An interior particle has four springs of
// each kind, and the lightest particle is every particle: m = mass / n^2.
constexpr double kSpringLimit = 2.1;
// Linear drag alone: v' = v (1 - h c / m) overshoots past h c / m = 1 and diverges past 2.
constexpr double kDragLimit = 1.0;
// A cloth with almost no drag never settles, and its swinging finds instabilities well below
// the damped limit (measured: n = 15 with no drag gains energy without bound at h w = 0.57;
// n = 16 with drag 0.15 does too; drag 0.3 and up keeps it bounded). Below this drag rate, per
// unit time, it takes twice the substeps.
constexpr double kWeakDrag = 0.005;

}  // namespace

std::span<const Param> sceneParams() { return kParams; }

int findParam(std::string_view key) {
  for (std::size_t i = 0; i < kParams.size(); ++i) {
    if (kParams[i].key == key) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool inRange(const Param& param, const Vec3& value) {
  const bool whole = param.type == ParamType::kInt || param.type == ParamType::kBool;
  const auto ok = [&](double v) {
    if (v == 0.0 && param.key == kTearKey) {
      return true;
    }
    return std::isfinite(v) && v >= param.least && v <= param.most &&
           (!whole || v == std::floor(v));
  };
  if (param.type == ParamType::kVector) {
    return ok(value.x) && ok(value.y) && ok(value.z);
  }
  return ok(value.x);
}

std::string rangeText(const Param& param) {
  if (param.type == ParamType::kBool) {
    return "true or false";
  }
  char text[96];
  const char* what = param.type == ParamType::kVector ? "each component "
                     : param.type == ParamType::kInt  ? "a whole number "
                     : param.key == kTearKey          ? "0 (never) or "
                                                      : "";
  std::snprintf(text, sizeof text, "%sfrom %.10g to %.10g", what, param.least, param.most);
  return text;
}

int substepsFor(const Scene& scene) {
  const ClothMaterial& m = scene.material;
  const double particleMass = m.mass / (static_cast<double>(scene.grid) * scene.grid);
  const double stiffness = 4.0 * (m.stiffness + m.shear + m.bend);
  const double dragRate = m.drag / m.mass;
  const double limit = dragRate < kWeakDrag ? kSpringLimit / 2 : kSpringLimit;
  const double springSteps = scene.step * std::sqrt(stiffness / particleMass) / limit;
  const double dragSteps = scene.step * dragRate / kDragLimit;
  const double most = std::ceil(std::fmax(springSteps, dragSteps));
  // A value beyond any sensible count says only "too many".
  return most < 1.0 ? 1 : most > 1e6 ? 1000000 : static_cast<int>(most);
}

bool checkScene(const Scene& scene, std::string& why) {
  for (const Param& p : kParams) {
    if (!inRange(p, p.get(scene))) {
      why = std::string(p.key) + " must be " + rangeText(p);
      return false;
    }
  }
  const int substeps = substepsFor(scene);
  if (substeps > kMaxSubsteps) {
    why = "the cloth would need " + std::to_string(substeps) +
          " substeps of each time step to stay stable, and at most " +
          std::to_string(kMaxSubsteps) +
          " are allowed: lower time.step or the stiffnesses, raise cloth.mass, or use a smaller "
          "cloth.grid";
    return false;
  }
  return true;
}

bool addPin(PinList& pins, int column, int row) {
  if (pins.mounts) {
    pins = PinList{false, 0, {}};
  }
  const auto inside = [](int v) { return v >= 0 && v < kMaxGridSize; };
  if (pins.count >= kMaxPins || !inside(column) || !inside(row)) {
    return false;
  }
  pins.at[static_cast<std::size_t>(pins.count++)] = {static_cast<std::int16_t>(column),
                                                     static_cast<std::int16_t>(row)};
  return true;
}

int badPin(const Scene& scene, std::string& why) {
  const PinList& pins = scene.pins;
  for (int i = 0; !pins.mounts && i < pins.count; ++i) {
    const GridPin& pin = pins.at[static_cast<std::size_t>(i)];
    const std::string at = std::string(kPinsKey) + ": (" + std::to_string(pin.column) + ", " +
                           std::to_string(pin.row) + ")";
    if (pin.column < 0 || pin.column >= scene.grid || pin.row < 0 || pin.row >= scene.grid) {
      char text[96];
      std::snprintf(text, sizeof text, " is outside the %d by %d grid: column and row from 0 to %d",
                    scene.grid, scene.grid, scene.grid - 1);
      why = at + text;
      return i;
    }
    for (int j = 0; j < i; ++j) {
      const GridPin& other = pins.at[static_cast<std::size_t>(j)];
      if (other.column == pin.column && other.row == pin.row) {
        why = at + " is listed twice: each particle once";
        return i;
      }
    }
  }
  return -1;
}

bool checkPins(const Scene& scene, std::string& why) { return badPin(scene, why) < 0; }

bool setMeshPath(MeshFile& file, std::string_view path) {
  if (path.size() > static_cast<std::size_t>(kMaxMeshPath) ||
      path.find('\0') != std::string_view::npos) {
    return false;
  }
  file = MeshFile();
  std::copy(path.begin(), path.end(), file.path.begin());
  return true;
}

std::string_view meshPath(const MeshFile& file) { return file.path.data(); }

bool changesOnlyPicture(const Param& param) {
  return param.table == "view" || param.key == "cloth.colour" || param.key == "cloth.back_colour";
}

bool sameView(const View& a, const View& b) {
  const auto same = [](double x, double y) {
    return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
  };
  return same(a.azimuth, b.azimuth) && same(a.elevation, b.elevation) &&
         same(a.distance, b.distance) && same(a.target.x, b.target.x) &&
         same(a.target.y, b.target.y) && same(a.target.z, b.target.z) && same(a.fov, b.fov);
}

bool isDefaultSimulation(const Scene& scene) {
  const Scene defaults;
  return scene.pins.mounts && scene.meshFile.path[0] == '\0' &&
         std::all_of(kParams.begin(), kParams.end(), [&](const Param& p) {
           const Vec3 a = p.get(scene);
           const Vec3 b = p.get(defaults);
           return changesOnlyPicture(p) || (a.x == b.x && a.y == b.y && a.z == b.z);
         });
}

bool isDefaultScene(const Scene& scene) {
  const Scene defaults;
  return isDefaultSimulation(scene) && scene.look.texture.path[0] == '\0' &&
         std::all_of(kParams.begin(), kParams.end(), [&](const Param& p) {
           const Vec3 a = p.get(scene);
           const Vec3 b = p.get(defaults);
           return a.x == b.x && a.y == b.y && a.z == b.z;
         });
}

}  // namespace vellumry
