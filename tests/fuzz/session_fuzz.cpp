// libFuzzer target: any bytes as a session file. A file the parser accepts is replayed through
// the real event path and frame loop, from the scene it names, for up to kMaxTicks ticks or
// kMaxWork particle steps, with no window: GL calls go nowhere without a current context. Nothing a
// file holds may crash the program or reach memory outside the cloth's pools (the build adds
// AddressSanitizer and UndefinedBehaviorSanitizer).

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/session_run.h"
#include "app/viewer.h"
#include "session/session_file.h"

namespace {

constexpr std::uint64_t kMaxTicks = 200;
// A large grid takes its substeps on every particle: bound the work, not only the ticks.
constexpr std::uint64_t kMaxWork = 1'000'000;

void noFrame() {}
void noWindow(int /*width*/, int /*height*/) {}

void startState(const vellumry::Scene& start) {
  using namespace vellumry;
  presenter = {noFrame, noFrame, noWindow};
  mouseMode = -1;
  viewAngle = -80.0;
  drawMode = GL_SMOOTH;
  dragStartX = dragStartY = 0;
  mountVelocity0 = mountVelocity1 = Vec3();
  fullscreen = paused = false;
  spinRate = 0.0;
  grab = Grab();
  tickCount = 0;
  scene = start;
  substeps = substepsFor(scene);
  dropCloth();
}

std::uint64_t tickWork() {
  using namespace vellumry;
  return static_cast<std::uint64_t>(cloth.particleCount) * substeps * scene.stepsPerTick;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellumry;
  std::vector<Record> records;
  Scene start;
  ParseError error;
  if (!parseSession({reinterpret_cast<const char*>(data), size}, start, records, error)) {
    return 0;
  }
  startState(start);
  startReplay(std::move(records), "fuzz");
  std::uint64_t work = 0;
  while (tickCount < kMaxTicks && beforeTick() && (work += tickWork()) <= kMaxWork) {
    runTick();
    afterTick();
  }
  finishSession();
  return 0;
}
