#pragma once

namespace vellumry {

/// Lets Tab show and hide the live panel in the window. Nothing of the panel exists until it is
/// first shown: no GL calls, no callbacks of its own, nothing drawn.
void installPanel();

}  // namespace vellumry
