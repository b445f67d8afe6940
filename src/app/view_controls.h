#pragma once

namespace vellumry {

/// The view the Home key returns to: the scene's own at the start.
void rememberHomeView();
/// A middle press begins an orbit (a pan with Shift), its release ends it; a wheel notch (GLUT
/// buttons 3 and 4) zooms. True when the button is one of these.
bool viewMouse(int button, int state, int x, int y);
/// The pointer moved: while the middle button is held the camera orbits or pans.
void viewMotion(int x, int y);
/// Arrows orbit (with Shift they pan), Page Up and Page Down zoom, Home returns to the scene's
/// view. True when the key is one of these.
bool viewSpecial(int key);
/// '+' (or '=') zooms in, '-' out. True when the key is one of these.
bool viewKey(unsigned char key);

}  // namespace vellumry
