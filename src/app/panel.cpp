#include "app/panel.h"

#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

#include <algorithm>
#include <bitset>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/input.h"
#include "app/panel_hook.h"
#include "app/panel_solid.h"
#include "app/scene_choice.h"
#include "app/session_run.h"
#include "app/viewer.h"
#include "cloth/cloth_energy.h"
#include "scene/scene_file.h"

namespace vellumry {

namespace {

constexpr int kHistoryTicks = 500;  // 10 s of 20 ms ticks
constexpr int kMaxParams = 40;
constexpr int kMaxThreads = 64;
constexpr float kPanelWidth = 300.0f;
constexpr float kPlotHeight = 30.0f;
constexpr int kFrameTimes = 64;  // frames the frame rate is measured over
constexpr unsigned char kTab = '\t';
// ImGui's integer sliders keep within half of int's range; a wider parameter (a seed) is typed.
constexpr double kWidestSlider = 1e9;
// Without a wheel callback freeglut reports the wheel as these two buttons.
constexpr int kWheelUp = 3;
constexpr int kWheelDown = 4;

struct Pending {
  bool active = false;  ///< a value is being chosen and not yet applied
  Vec3 value;
};

struct Panel {
  bool created = false;
  bool shown = false;
  int mostThreads = 1;
  ImVec2 min;  ///< the panel's window at its last frame, window pixels
  ImVec2 max;
  unsigned buttons = 0;  ///< GLUT buttons whose press the panel took, one bit each
  // A press and its release, or a key down and up, may both arrive between two frames; the
  // release then waits for the end of the next frame so that the frame sees the press.
  unsigned buttonsDown = 0;
  unsigned buttonsUpLater = 0;
  std::bitset<256> keysDown;
  std::bitset<256> keysUpLater;
  std::bitset<256> specialsDown;
  std::bitset<256> specialsUpLater;
  // The plot's ring of samples, one a tick.
  bool sampled = false;
  std::uint64_t sampledTick = 0;
  int samples = 0;
  int next = 0;
  float kinetic[kHistoryTicks] = {};
  float potential[kHistoryTicks] = {};
  float stretch[kHistoryTicks] = {};
  ClothEnergy latest;
  int frameTimes[kFrameTimes] = {};  ///< GLUT's milliseconds at the panel's recent frames
  int frames = 0;
  Pending pending[kMaxParams];
  char refusal[384] = "";
  std::vector<SceneFile> sceneFiles;  ///< listed once, when the panel is made
  int chosenScene = 0;
};

Panel panel;

void onKeyUp(unsigned char key, int x, int y) {
  if (panel.keysDown.test(key)) {
    panel.keysUpLater.set(key);
  } else {
    ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
  }
}

void onSpecialUp(int key, int x, int y) {
  if (key >= 0 && key < 256 && panel.specialsDown.test(static_cast<std::size_t>(key))) {
    panel.specialsUpLater.set(static_cast<std::size_t>(key));
  } else {
    ImGui_ImplGLUT_SpecialUpFunc(key, x, y);
  }
}

void create() {
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // no files of its own: the panel starts where it always does
  io.LogFilename = nullptr;
  io.ConfigWindowsMoveFromTitleBarOnly = true;  // a drag on the panel's body is not lost
  ImGui::StyleColorsDark();
  ImGui_ImplGLUT_Init();
  ImGui_ImplOpenGL2_Init();
  io.DisplaySize = ImVec2(static_cast<float>(glutGet(GLUT_WINDOW_WIDTH)),
                          static_cast<float>(glutGet(GLUT_WINDOW_HEIGHT)));
  glutPassiveMotionFunc(ImGui_ImplGLUT_MotionFunc);
  glutKeyboardUpFunc(onKeyUp);
  glutSpecialUpFunc(onSpecialUp);
  panel.mostThreads =
      std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
  panel.sceneFiles = listSceneFiles({VELLUMRY_SCENES_DIR, VELLUMRY_SOURCE_SCENES_DIR});
  panel.created = true;
}

void toggle() {
  if (!panel.created) {
    create();
  }
  panel.shown = !panel.shown;
  if (panel.shown) {
    // The plot shows the ticks seen while shown: a gap would join unrelated times.
    panel.sampled = false;
    panel.samples = 0;
    panel.next = 0;
    panel.refusal[0] = '\0';
    panel.frames = 0;
  }
}

bool over(int x, int y) {
  const auto fx = static_cast<float>(x);
  const auto fy = static_cast<float>(y);
  return panel.shown && fx >= panel.min.x && fx < panel.max.x && fy >= panel.min.y &&
         fy < panel.max.y;
}

bool wantsKeyboard() { return panel.created && panel.shown && ImGui::GetIO().WantCaptureKeyboard; }

// Tab shows and hides the panel unless a text box has the keyboard: the capture ImGui reports
// is its last frame's, and may still hold a slider released since.
bool onKey(unsigned char key, int x, int y) {
  if (key == kTab && !(panel.created && panel.shown && ImGui::GetIO().WantTextInput)) {
    toggle();
    return true;
  }
  if (wantsKeyboard()) {
    ImGui_ImplGLUT_KeyboardFunc(key, x, y);
    panel.keysDown.set(key);
    return true;
  }
  return false;
}

bool onSpecial(int key, int x, int y) {
  if (!wantsKeyboard()) {
    return false;
  }
  ImGui_ImplGLUT_SpecialFunc(key, x, y);
  if (key >= 0 && key < 256) {
    panel.specialsDown.set(static_cast<std::size_t>(key));
  }
  return true;
}

// ImGui's own button numbers: left, right, middle.
int imguiButton(int glutButton) {
  return glutButton == GLUT_LEFT_BUTTON ? 0 : glutButton == GLUT_RIGHT_BUTTON ? 1 : 2;
}

// A press over the panel belongs to the panel until its release, wherever the pointer goes; any
// other press, and its release, belong to the cloth.
bool onMouse(int button, int state, int x, int y) {
  if (!panel.created) {
    return false;
  }
  ImGuiIO& io = ImGui::GetIO();
  if (button == kWheelUp || button == kWheelDown) {
    if (!over(x, y)) {
      return false;
    }
    if (state == GLUT_DOWN) {
      io.MouseWheel += button == kWheelUp ? 1.0f : -1.0f;
    }
    return true;
  }
  if (button < GLUT_LEFT_BUTTON || button > GLUT_RIGHT_BUTTON) {
    return false;
  }
  const unsigned bit = 1U << static_cast<unsigned>(button);
  if (state == GLUT_DOWN) {
    if (!over(x, y)) {
      return false;
    }
    const int modifiers = glutGetModifiers();
    io.KeyCtrl = (modifiers & GLUT_ACTIVE_CTRL) != 0;  // Ctrl + click types a value
    io.KeyShift = (modifiers & GLUT_ACTIVE_SHIFT) != 0;
    io.KeyAlt = (modifiers & GLUT_ACTIVE_ALT) != 0;
    ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    panel.buttons |= bit;
    panel.buttonsDown |= bit;
    return true;
  }
  if ((panel.buttons & bit) == 0) {
    return false;
  }
  panel.buttons &= ~bit;
  if ((panel.buttonsDown & bit) != 0) {
    io.MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
    panel.buttonsUpLater |= bit;
  } else {
    ImGui_ImplGLUT_MouseFunc(button, state, x, y);
  }
  return true;
}

bool onMotion(int x, int y) {
  if (!panel.created) {
    return false;
  }
  ImGui_ImplGLUT_MotionFunc(x, y);
  return panel.buttons != 0;
}

void onReshape(int width, int height) {
  if (panel.created) {
    ImGui_ImplGLUT_ReshapeFunc(width, height);
  }
}

// The releases held back for this frame, as the backend's key-up does them; GLUT's modifiers
// cannot be asked for outside its input callbacks.
void finishInputFrame() {
  ImGuiIO& io = ImGui::GetIO();
  for (int b = GLUT_LEFT_BUTTON; b <= GLUT_RIGHT_BUTTON; ++b) {
    if ((panel.buttonsUpLater & (1U << static_cast<unsigned>(b))) != 0) {
      io.MouseDown[imguiButton(b)] = false;
    }
  }
  for (int c = 0; c < 256; ++c) {
    if (panel.keysUpLater.test(static_cast<std::size_t>(c))) {
      io.KeysDown[c] = false;
      if (c >= 1 && c <= 26) {  // Ctrl + letter
        io.KeysDown['a' + c - 1] = false;
        io.KeysDown['A' + c - 1] = false;
      } else if (std::isalpha(c) != 0) {
        io.KeysDown[std::tolower(c)] = false;
        io.KeysDown[std::toupper(c)] = false;
      }
    }
    if (panel.specialsUpLater.test(static_cast<std::size_t>(c))) {
      io.KeysDown[c + 256] = false;
    }
  }
  panel.buttonsDown = 0;
  panel.buttonsUpLater = 0;
  panel.keysDown.reset();
  panel.keysUpLater.reset();
  panel.specialsDown.reset();
  panel.specialsUpLater.reset();
}

float plotted(double v) { return std::isfinite(v) ? static_cast<float>(v) : 0.0f; }

// Once a tick: a frame drawn again without a tick in between adds nothing.
void sample() {
  if (panel.sampled && panel.sampledTick == tickCount) {
    return;
  }
  panel.sampled = true;
  panel.sampledTick = tickCount;
  panel.latest = clothEnergy(cloth);
  panel.kinetic[panel.next] = plotted(panel.latest.kinetic);
  panel.potential[panel.next] = plotted(panel.latest.gravity + panel.latest.springs);
  panel.stretch[panel.next] = plotted(panel.latest.maxStretch);
  panel.next = (panel.next + 1) % kHistoryTicks;
  panel.samples = std::min(panel.samples + 1, kHistoryTicks);
}

void countFrame() {
  panel.frameTimes[panel.frames % kFrameTimes] = glutGet(GLUT_ELAPSED_TIME);
  ++panel.frames;
}

// Over the last kFrameTimes frames drawn with the panel, or as many as there are.
double framesPerSecond() {
  const int n = std::min(panel.frames, kFrameTimes);
  if (n < 2) {
    return 0.0;
  }
  const int last = panel.frameTimes[(panel.frames - 1) % kFrameTimes];
  const int first = panel.frameTimes[(panel.frames - n) % kFrameTimes];
  return last > first ? 1000.0 * (n - 1) / (last - first) : 0.0;
}

// The last 10 seconds of one figure, its latest value written over it.
void plot(const char* id, const char* name, const float* values, double latest) {
  char overlay[64];
  std::snprintf(overlay, sizeof overlay, "%s %.4g", name, latest);
  const int first = panel.samples < kHistoryTicks ? 0 : panel.next;
  ImGui::PlotLines(id, values, panel.samples, first, overlay, FLT_MAX, FLT_MAX,
                   ImVec2(ImGui::GetContentRegionAvail().x, kPlotHeight));
}

// What the panel sends while a frame is drawn waits for the end of the tick: then it takes effect
// between two ticks, as every other input does and as a replay applies it.
// Room for a scene's whole pin list as well as every parameter.
constexpr int kMaxPending = kMaxPins + 64;
Event pending[kMaxPending];
int pendingCount = 0;

void send(const Event& event) {
  if (pendingCount < kMaxPending) {
    pending[pendingCount++] = event;
  }
}

void submitPending() {
  for (int i = 0; i < pendingCount; ++i) {
    submit(pending[i]);
  }
  pendingCount = 0;
}

// Sends a parameter's new value down the one input path, unless the scene would refuse it.
void propose(int index, const Param& p, const Vec3& value) {
  Scene next = scene;
  p.set(next, value);
  std::string why;
  if (!inRange(p, value)) {
    std::snprintf(panel.refusal, sizeof panel.refusal, "%.*s must be from %g to %g",
                  static_cast<int>(p.key.size()), p.key.data(), p.least, p.most);
    return;
  }
  if (!checkScene(next, why)) {
    std::snprintf(panel.refusal, sizeof panel.refusal, "%.*s not changed: %s",
                  static_cast<int>(p.key.size()), p.key.data(), why.c_str());
    return;
  }
  panel.refusal[0] = '\0';
  send(setEvent(index, value));
}

// Wide ranges of positive values, and the two-signed gravity, move by ratios, not by steps.
ImGuiSliderFlags numberFlags(const Param& p) {
  const bool wide = p.least > 0.0 ? p.most / p.least >= 100.0 : p.most >= 100.0;
  return ImGuiSliderFlags_AlwaysClamp | (wide ? ImGuiSliderFlags_Logarithmic : 0);
}

void tooltip(const Param& p) {
  if (!ImGui::IsItemHovered()) {
    return;
  }
  const char* what = p.type == ParamType::kVector ? "each component "
                     : p.type == ParamType::kInt  ? "a whole number "
                                                  : "";
  ImGui::SetTooltip("%.*s\n%sfrom %g to %g%s", static_cast<int>(p.help.size()), p.help.data(), what,
                    p.least, p.most, p.rebuilds ? "; builds the cloth afresh" : "");
}

// A parameter that rebuilds the cloth is applied when its slider is let go (or its typed value
// entered); the others as they move.
void paramControl(int index, const Param& p) {
  char label[64];
  std::snprintf(label, sizeof label, "%.*s", static_cast<int>(p.key.size()), p.key.data());
  Pending& pending = panel.pending[index];
  const Vec3 current = p.get(scene);
  Vec3 value = p.rebuilds && pending.active ? pending.value : current;
  const double least = p.least;
  const double most = p.most;
  bool changed = false;
  switch (p.type) {
    case ParamType::kInt: {
      int v = static_cast<int>(value.x);
      if (least >= -kWidestSlider && most <= kWidestSlider) {
        changed = ImGui::SliderInt(label, &v, static_cast<int>(least), static_cast<int>(most), "%d",
                                   ImGuiSliderFlags_AlwaysClamp);
      } else {
        changed = ImGui::InputInt(label, &v, 1, 100, ImGuiInputTextFlags_EnterReturnsTrue);
        v = static_cast<int>(std::clamp<double>(v, least, most));
      }
      value.x = v;
      break;
    }
    case ParamType::kNumber:
      changed = ImGui::SliderScalar(label, ImGuiDataType_Double, &value.x, &least, &most, "%.4g",
                                    numberFlags(p));
      break;
    case ParamType::kVector: {
      double v[3] = {value.x, value.y, value.z};
      changed = ImGui::SliderScalarN(label, ImGuiDataType_Double, v, 3, &least, &most, "%.3g",
                                     numberFlags(p));
      value = Vec3(v[0], v[1], v[2]);
      break;
    }
    case ParamType::kBool: {
      bool on = value.x != 0.0;
      changed = ImGui::Checkbox(label, &on);
      value.x = on ? 1.0 : 0.0;
      break;
    }
  }
  tooltip(p);
  if (!p.rebuilds) {
    if (changed) {
      propose(index, p, value);
    }
    return;
  }
  if (changed) {
    pending = {true, value};
  }
  if (ImGui::IsItemDeactivatedAfterEdit() && pending.active) {
    pending.active = false;
    if (pending.value.x != current.x) {
      propose(index, p, pending.value);
    }
  }
}

void simulationControls() {
  bool pause = paused;
  if (ImGui::Checkbox("Pause", &pause)) {
    send(pointerEvent(EventKind::kPause));
  }
  ImGui::SameLine();
  ImGui::BeginDisabled(!paused);
  if (ImGui::Button("Step")) {
    send(pointerEvent(EventKind::kStep));
  }
  ImGui::EndDisabled();
  ImGui::SameLine();
  if (ImGui::Button("Redrop")) {
    send(menuEvent(kMenuRedrop));
  }
  if (ImGui::IsItemHovered()) {
    ImGui::SetTooltip("drops the cloth again, every tear mended");
  }

  struct Choice {
    const char* label;
    int value;
  };
  constexpr Choice kDragControls[] = {
      {"Rotate", kMenuRotate}, {"EndpointDist", kMenuEndpointDist}, {"Flap", kMenuFlap}};
  for (const Choice& c : kDragControls) {
    if (c.value != kMenuRotate) {
      ImGui::SameLine();
    }
    if (ImGui::RadioButton(c.label, mouseMode == c.value) && mouseMode != c.value) {
      send(menuEvent(c.value));
    }
  }
  const bool lit = drawMode == GL_SMOOTH;
  if (ImGui::RadioButton("Lit surface", lit) && !lit) {
    send(menuEvent(kMenuDrawMode));
  }
  ImGui::SameLine();
  if (ImGui::RadioButton("Wireframe", !lit) && lit) {
    send(menuEvent(kMenuDrawMode));
  }
}

// The scene's events: the parameters that differ, the pin list, then a Redrop that builds it.
void loadChosenScene() {
  const SceneFile& file = panel.sceneFiles[static_cast<std::size_t>(panel.chosenScene)];
  Scene loaded;
  std::string error;
  if (!loadScene(file.path, loaded, error) || !checkScene(loaded, error) ||
      !sendSceneSolid(loaded, send, error)) {
    std::snprintf(panel.refusal, sizeof panel.refusal, "%s", error.c_str());
    return;
  }
  panel.refusal[0] = '\0';
  for (const Event& e : sceneEvents(scene, loaded)) {
    send(e);
  }
}

void sceneChooser() {
  if (panel.sceneFiles.empty()) {
    return;
  }
  const std::string& shown = panel.sceneFiles[static_cast<std::size_t>(panel.chosenScene)].label;
  if (ImGui::BeginCombo("##scene", shown.c_str())) {
    for (std::size_t i = 0; i < panel.sceneFiles.size(); ++i) {
      const bool chosen = static_cast<int>(i) == panel.chosenScene;
      if (ImGui::Selectable(panel.sceneFiles[i].label.c_str(), chosen)) {
        panel.chosenScene = static_cast<int>(i);
      }
    }
    ImGui::EndCombo();
  }
  ImGui::SameLine();
  if (ImGui::Button("Load scene")) {
    loadChosenScene();
  }
}

// The cloth's own tables are listed plainly; each of the world it meets under a header.
void sceneControls() {
  const std::span<const Param> params = sceneParams();
  const int count = std::min(static_cast<int>(params.size()), kMaxParams);
  const int firstHeaded = findParam("wind.velocity");
  bool open = true;
  for (int i = 0; i < count; ++i) {
    const Param& p = params[static_cast<std::size_t>(i)];
    if (i >= firstHeaded && (i == firstHeaded || p.table != params[i - 1].table)) {
      char header[32];
      std::snprintf(header, sizeof header, "%.*s", static_cast<int>(p.table.size()),
                    p.table.data());
      open = ImGui::CollapsingHeader(header, ImGuiTreeNodeFlags_DefaultOpen);
    }
    if (open) {
      paramControl(i, p);
    }
    if (open && p.table == "mesh" && (i + 1 == count || params[i + 1].table != "mesh")) {
      solidControls(send, panel.refusal, sizeof panel.refusal);
    }
  }
  sceneChooser();
  if (panel.refusal[0] != '\0') {
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1.0f, 0.45f, 0.4f, 1.0f));
    ImGui::TextWrapped("%s", panel.refusal);
    ImGui::PopStyleColor();
  }
}

void figures() {
  ImGui::Text("tick %.2f ms  %.0f fps  substeps %d", tickWorkMs, framesPerSecond(), substeps);
  ImGui::Text("broken springs %d", cloth.brokenCount);
  if (ImGui::IsItemHovered()) {
    ImGui::SetTooltip(
        "the last tick's work (steps and drawing), the frame rate,\nand the equal substeps each "
        "time step is split into to stay stable");
  }
  // The result is the same on any number of threads: not an input to record.
  int threads = cloth.threads;
  if (ImGui::SliderInt("threads", &threads, 1, std::max(panel.mostThreads, cloth.threads), "%d",
                       ImGuiSliderFlags_AlwaysClamp)) {
    cloth.setThreads(threads);
  }
  plot("##kinetic", "kinetic energy", panel.kinetic, panel.latest.kinetic);
  plot("##potential", "potential energy", panel.potential,
       panel.latest.gravity + panel.latest.springs);
  plot("##stretch", "largest stretch", panel.stretch, panel.latest.maxStretch);
}

void buildPanel() {
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(8.0f, 8.0f), ImGuiCond_FirstUseEver);
  ImGui::SetNextWindowSize(ImVec2(kPanelWidth, std::max(100.0f, io.DisplaySize.y - 16.0f)),
                           ImGuiCond_FirstUseEver);
  bool open = true;
  if (ImGui::Begin("Vellumry  (Tab hides)", &open)) {
    const bool live = !replaying();
    if (!live) {
      ImGui::TextDisabled("replaying: the panel only shows");
    }
    ImGui::BeginDisabled(!live);
    simulationControls();
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.52f);
    ImGui::Separator();
    sceneControls();
    ImGui::EndDisabled();
    ImGui::Separator();
    figures();
    ImGui::PopItemWidth();
  }
  panel.min = ImGui::GetWindowPos();
  const ImVec2 size = ImGui::GetWindowSize();
  panel.max = ImVec2(panel.min.x + size.x, panel.min.y + size.y);
  ImGui::End();
  if (!open) {
    panel.shown = false;
  }
}

void draw() {
  if (!panel.shown) {
    return;
  }
  sample();
  countFrame();
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplGLUT_NewFrame();  // starts ImGui's frame
  buildPanel();
  ImGui::Render();
  // The backend restores what it changes except the current colour, which the wireframe takes.
  glPushAttrib(GL_CURRENT_BIT);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
  glPopAttrib();
  finishInputFrame();
}

}  // namespace

void installPanel() {
  panelHook.key = onKey;
  panelHook.special = onSpecial;
  panelHook.mouse = onMouse;
  panelHook.motion = onMotion;
  panelHook.reshape = onReshape;
  panelHook.draw = draw;
  panelHook.afterTick = submitPending;
}

}  // namespace vellumry
