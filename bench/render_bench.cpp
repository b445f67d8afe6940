// Where the time goes when a session is rendered with no window: the demo session's events,
// run for 1,000 ticks at 500 by 500, timed phase by phase (simulation, drawing, read-back,
// encoding and writing), into each output format in turn: PNG frames, MP4 and WebP (WebM too);
// and the same session replayed without drawing, in ticks per second.
//
// Usage: render_bench [SESSION [DIR]]   (DIR receives the output; default a fresh temp dir)

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
#include "output/frame_output.h"
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
  double encoding = 0.0;  // handing the frame to the output: encoding and writing
  double finish = 0.0;    // completing the file after the last frame
  double total = 0.0;     // the whole job, finish included
};

Phases phases;
Clock::time_point tickStart;
vellumry::FrameOutput output;
std::vector<std::uint8_t> pixels;

void timedPresent() {
  glFinish();
  phases.drawing += since(tickStart);
  Clock::time_point t = Clock::now();
  vellumry::readFrame(kSize, kSize, pixels);
  phases.readBack += since(t);
  t = Clock::now();
  std::string error;
  if (!output.add(vellumry::tickCount + 1, pixels.data(), error)) {
    std::fprintf(stderr, "render_bench: %s\n", error.c_str());
    std::exit(1);
  }
  phases.encoding += since(t);
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
  viewAngle = -80.0;
  drawMode = GL_SMOOTH;
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

// Renders the session into path as format; prints the phases.
void render(const std::vector<vellumry::Record>& records, double simulation,
            vellumry::OutputFormat format, const char* label, const std::string& path) {
  std::string error;
  if (!output.open(format, path, kSize, kSize, true, error)) {
    std::fprintf(stderr, "render_bench: %s\n", error.c_str());
    std::exit(1);
  }
  phases = {};
  const Clock::time_point start = Clock::now();
  run(records, true);
  const Clock::time_point finish = Clock::now();
  if (!output.finish(error)) {
    std::fprintf(stderr, "render_bench: %s\n", error.c_str());
    std::exit(1);
  }
  phases.finish = since(finish);
  phases.total = since(start);
  const double perTick = simulation / kTicks;
  std::printf(
      "%-11s %6.1f frames/s | simulation %.4f, drawing %.3f, read-back %.3f, encoding %.3f ms a "
      "frame; completing the file %.0f ms\n",
      label, kTicks / phases.total * 1000.0, perTick, phases.drawing / kTicks - perTick,
      phases.readBack / kTicks, phases.encoding / kTicks, phases.finish);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vellumry;
  const std::vector<Record> records = session(argc > 1 ? argv[1] : VELLUMRY_DEMO_SESSION);
  char scratch[] = "/tmp/vellumry-render-bench.XXXXXX";
  const std::string dir = argc > 2 ? argv[2] : mkdtemp(scratch);
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
  std::printf("replay without drawing: %.0f ticks/s (%.4f ms a tick)\n",
              kTicks / simulation * 1000.0, simulation / kTicks);
  std::printf("rendering %llu ticks at %dx%d:\n", static_cast<unsigned long long>(kTicks), kSize,
              kSize);
  render(records, simulation, OutputFormat::kPngFrames, "PNG frames", dir + "/frames");
  render(records, simulation, OutputFormat::kMp4, "MP4", dir + "/bench.mp4");
  render(records, simulation, OutputFormat::kWebp, "WebP", dir + "/bench.webp");
  render(records, simulation, OutputFormat::kWebm, "WebM", dir + "/bench.webm");
  std::printf("output in %s\n", dir.c_str());
  return 0;
}
