#pragma once

namespace vellumry {

/// Menu values, in the menu's order.
enum MenuValue : int {
  kMenuRotate = 0,
  kMenuEndpointDist = 1,
  kMenuFlap = 2,
  kMenuRedrop = 99,
  kMenuDrawMode = 4,
  kMenuFullscreen = 3,
};

/// Mouse and motion callbacks, then the right-button menu.
void installControls();
void onMenu(int value);
void onMouse(int button, int state, int x, int y);
void onMotion(int x, int y);
/// The help text, on standard output.
void printHelp();

}  // namespace vellumry
