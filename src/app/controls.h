#pragma once

#include "session/event.h"

namespace vellumry {

/// Mouse and motion callbacks, then the right-button menu.
void installControls();
/// Keyboard and special-key callbacks.
void installKeys();
void onMenu(int value);
void onMouse(int button, int state, int x, int y);
void onMotion(int x, int y);
void onKey(unsigned char key, int x, int y);
void onSpecial(int key, int x, int y);
/// The help text, on standard output.
void printHelp();

}  // namespace vellumry
