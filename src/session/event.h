#pragma once

#include <cmath>
#include <cstdint>

#include "math/vec3.h"

namespace vellumry {

/// Menu values, in the menu's order; keys choose the same values.
enum MenuValue : int {
  kMenuRotate = 0,
  kMenuEndpointDist = 1,
  kMenuFlap = 2,
  kMenuRedrop = 99,
  kMenuDrawMode = 4,
  kMenuFullscreen = 3,
};

[[nodiscard]] constexpr bool isMenuValue(int value) {
  return value == kMenuRotate || value == kMenuEndpointDist || value == kMenuFlap ||
         value == kMenuRedrop || value == kMenuDrawMode || value == kMenuFullscreen;
}

enum class EventKind : std::uint8_t {
  kMenu,     ///< a menu entry or its key
  kPress,    ///< left button down
  kRelease,  ///< left button up (with or without Shift)
  kMotion,   ///< pointer moved with a button held
  kPause,    ///< pause or resume the simulation
  kStep,     ///< one tick's simulation while paused
  kGrab,     ///< Shift + left press that picked a particle
  kPull,     ///< the pointer moved while a particle is held
  kSet,      ///< a scene parameter changed: value is its index in sceneParams(), target its value
  kPin,      ///< Ctrl + left click on a particle: value, its pool index, is pinned or freed
  kCut,      ///< Alt + left drag crossed a spring: value, its pool index, breaks
  kPins,     ///< the scene's pin list: value -1 empties it, 0 adds (x, y) = (column, row), 1 makes
             ///< it the default, the two mount points; acts when the cloth is next built
  kMesh,     ///< the solid: value, its index among the solids read so far, is put in force; -1:
             ///< no solid
};

/// One input that changes the viewer's state, as the live window and a replay both apply it.
struct Event {
  EventKind kind = EventKind::kMenu;
  int value = 0;  ///< kMenu: the menu value; kGrab: the particle's pool index; kSet: the parameter
  int x = 0;      ///< kPress, kRelease, kMotion: window pixels, y growing downwards
  int y = 0;
  Vec3 target;  ///< kGrab, kPull: where the held particle is pulled to, in cloth coordinates;
                ///< kSet: the new value (a number in x)
};

[[nodiscard]] constexpr Event menuEvent(int value) {
  Event e;
  e.value = value;
  return e;
}

/// An event with no data (kPause, kStep) or with pointer coordinates.
[[nodiscard]] constexpr Event pointerEvent(EventKind kind, int x = 0, int y = 0) {
  Event e;
  e.kind = kind;
  e.x = x;
  e.y = y;
  return e;
}

/// kGrab of a particle, or kPull (particle unused), towards target.
[[nodiscard]] constexpr Event targetEvent(EventKind kind, int particle, const Vec3& target) {
  Event e;
  e.kind = kind;
  e.value = particle;
  e.target = target;
  return e;
}

/// A scene parameter, by its index in sceneParams(), set to value.
[[nodiscard]] constexpr Event setEvent(int param, const Vec3& value) {
  Event e;
  e.kind = EventKind::kSet;
  e.value = param;
  e.target = value;
  return e;
}

/// kPin or kCut of the particle or spring with this pool index.
[[nodiscard]] constexpr Event indexEvent(EventKind kind, int index) {
  Event e;
  e.kind = kind;
  e.value = index;
  return e;
}

inline constexpr int kPinsClear = -1;
inline constexpr int kPinsAdd = 0;
inline constexpr int kPinsMounts = 1;

/// A change of the scene's pin list: kPinsClear, kPinsMounts, or kPinsAdd of (column, row).
[[nodiscard]] constexpr Event pinsEvent(int change, int column = 0, int row = 0) {
  Event e;
  e.kind = EventKind::kPins;
  e.value = change;
  e.x = column;
  e.y = row;
  return e;
}

/// kMesh: the solid read as number index (from 0), or none (-1).
[[nodiscard]] constexpr Event meshEvent(int index) {
  Event e;
  e.kind = EventKind::kMesh;
  e.value = index;
  return e;
}

/// Farthest a pull target may lie from the origin along any axis, in world units: far beyond
/// any window, yet small enough that the springs' arithmetic stays finite.
inline constexpr double kMaxTargetCoordinate = 1e6;

[[nodiscard]] inline bool isValidTarget(const Vec3& p) {
  const auto ok = [](double v) { return std::isfinite(v) && std::fabs(v) <= kMaxTargetCoordinate; };
  return ok(p.x) && ok(p.y) && ok(p.z);
}

}  // namespace vellumry
