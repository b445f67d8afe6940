#pragma once

namespace vellumry {

/// Where the viewer and the controls reach the live panel. Every entry is null until the window
/// installs the panel, and then does nothing until the panel is first shown. An input entry
/// returns true when the panel took the input, so the cloth must not see it.
struct PanelHook {
  bool (*key)(unsigned char key, int x, int y) = nullptr;  ///< Tab shows or hides the panel
  bool (*special)(int key, int x, int y) = nullptr;
  bool (*mouse)(int button, int state, int x, int y) = nullptr;
  bool (*motion)(int x, int y) = nullptr;
  void (*reshape)(int width, int height) = nullptr;
  void (*draw)() = nullptr;       ///< after the cloth, before the frame is presented
  void (*afterTick)() = nullptr;  ///< submits what the panel's controls did during the frame
};

inline PanelHook panelHook;

}  // namespace vellumry
