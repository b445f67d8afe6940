#pragma once

#include "math/vec3.h"
#include "scene/scene.h"

namespace vellumry {

/// Degrees a middle drag turns the camera per pixel, about the target and up or down.
inline constexpr double kOrbitPerPixel = 0.4;
/// Degrees an arrow key turns the camera.
inline constexpr double kOrbitPerKey = 5.0;
/// Share of the view's height that a Shift + arrow key pans by.
inline constexpr double kPanPerKey = 0.05;
/// The distance a wheel notch (or +, -) multiplies by, towards the target.
inline constexpr double kZoomPerNotch = 0.9;

/// Where the camera stands, in the frame the view turns in.
[[nodiscard]] Vec3 eyeOf(const View& view);
/// The projection for a viewport of this size, the camera included: perspective, viewport, look
/// at the target with y up. The default view sends exactly gluPerspective(30, aspect, 1, 100),
/// glViewport and gluLookAt from (0, 0, -13) at the origin.
void applyCamera(const View& view, int width, int height);

/// Where a light placed at `placed` for the default view stands for this one: the lights keep
/// their place beside the camera as it moves round the target.
[[nodiscard]] Vec3 lightFor(const View& view, const Vec3& placed);

/// The view a middle drag of (dx, dy) window pixels makes: right turns the camera to the left
/// round the target, down raises it; the azimuth kept within -180 to 180, the elevation within
/// kMaxElevation.
[[nodiscard]] View orbited(View view, double dx, double dy);
/// The view a Shift + middle drag makes: the target moves so that the point under the pointer
/// follows it, on a viewport `height` pixels high; each component kept within -100 to 100.
[[nodiscard]] View panned(View view, double dx, double dy, int height);
/// The view `notches` wheel notches make: positive come closer; kept within kMinViewDistance and
/// kMaxViewDistance.
[[nodiscard]] View zoomed(View view, int notches);

}  // namespace vellumry
