// Where the time goes when a session is rendered with no window: the demo session's events,
// run for 1,000 ticks at 500 by 500, timed phase by phase (simulation, drawing, read-back, PNG
// encoding and writing), and the same session replayed without drawing, in ticks per second.
//
// Usage: render_bench [SESSION [DIR]]   (DIR receives the PNG files; default a fresh temp dir)

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/session_run.h"
#include "app/viewer.h"
#include "output/png_writer.h"
#include "session/session_file.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kTicks = 1000;
constexpr int kSize = 500;

double since(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Phases {
  double drawing = 0.0;  // tick start to the frame finished, less the simulation
  double readBack = 0.0;
  double png = 0.0;
  double total = 0.0;
};

Phases phases;
Clock::time_point tickStart;
std::string dir;
std::vector<std::uint8_t> pixels;

void timedPresent() {
  glFinish();
  phases.drawing += since(tickStart);
  Clock::time_point t = Clock::now();
  vellumry::readFrame(kSize, kSize, pixels);
  phases.readBack += since(t);
  t = Clock::now();
  std::string error;
  const std::string name = dir + "/frame-" + std::to_string(vellumry::tickCount + 1) + ".png";
  if (!vellumry::writePng(name, kSize, kSize, pixels.data(), error)) {
    std::fprintf(stderr, "render_bench: %s: %s\n", name.c_str(), error.c_str());
  }
  phases.png += since(t);
}

void noWindow() {}
void noReshape(int /*width*/, int /*height*/) {}

std::vector<vellumry::Record> session(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::vector<vellumry::Record> records;
  vellumry::ParseError error;
  if (!vellumry::parseSession(text.str(), records, error)) {
    std::fprintf(stderr, "render_bench: %s:%d: %s\n", path.c_str(), error.line,
                 error.message.c_str());
    std::exit(2);
  }
  std::erase_if(records, [](const vellumry::Record& r) { return r.tick >= kTicks; });
  vellumry::Record end;
  end.tick = kTicks;
  end.kind = vellumry::RecordKind::kEnd;
  records.push_back(end);
  return records;
}

// Runs the session from the start state; returns milliseconds.
double run(const std::vector<vellumry::Record>& records, bool draw) {
  using namespace vellumry;
  tickCount = 0;
  cloth.build(kClothWidth, kClothGridSize);
  startReplay(records, "bench");
  const Clock::time_point start = Clock::now();
  while (beforeTick()) {
    tickStart = Clock::now();
    runTick(draw);
    afterTick();
  }
  const double ms = since(start);
  finishSession();
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vellumry;
  const std::vector<Record> records = session(argc > 1 ? argv[1] : VELLUMRY_DEMO_SESSION);
  char scratch[] = "/tmp/vellumry-render-bench.XXXXXX";
  dir = argc > 2 ? argv[2] : mkdtemp(scratch);
  HeadlessContext context;
  std::string error;
  if (!context.open(kSize, kSize, error)) {
    std::fprintf(stderr, "render_bench: %s\n", error.c_str());
    return 1;
  }
  presenter = {timedPresent, noWindow, noReshape};
  initGlState();
  reshape(kSize, kSize);

  const double simulation = run(records, false);
  phases.total = run(records, true);
  const double perTick = simulation / kTicks;
  const double drawing = phases.drawing / kTicks - perTick;
  std::printf(
      "replay without drawing: %.0f ticks/s (%.4f ms a tick)\n"
      "rendering %llu ticks at %dx%d: %.1f frames/s\n"
      "  simulation %.4f ms, drawing %.3f ms, read-back %.3f ms, PNG %.3f ms a frame\n"
      "frames in %s\n",
      kTicks / simulation * 1000.0, perTick, static_cast<unsigned long long>(kTicks), kSize, kSize,
      kTicks / phases.total * 1000.0, perTick, drawing, phases.readBack / kTicks,
      phases.png / kTicks, dir.c_str());
  return 0;
}
