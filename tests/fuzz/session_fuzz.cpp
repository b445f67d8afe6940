// libFuzzer target: any bytes as a session file. A file the parser accepts is replayed through
// the real event path and frame loop for up to kMaxTicks ticks, with no window: GL calls go
// nowhere without a current context. Nothing a file holds may crash the program or reach memory
// outside the cloth's pools (the build adds AddressSanitizer and UndefinedBehaviorSanitizer).

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

void noFrame() {}
void noWindow(int /*width*/, int /*height*/) {}

void startState() {
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
  cloth.build(kClothWidth, kClothGridSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellumry;
  std::vector<Record> records;
  ParseError error;
  if (!parseSession({reinterpret_cast<const char*>(data), size}, records, error)) {
    return 0;
  }
  startState();
  startReplay(std::move(records), "fuzz");
  while (tickCount < kMaxTicks && beforeTick()) {
    runTick();
    afterTick();
  }
  finishSession();
  return 0;
}
