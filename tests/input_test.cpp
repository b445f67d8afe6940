// Keys, pause and single step, the grab, reshape, and sessions recorded from the live callbacks
// and replayed through the same event path, against the recording GL/GLUT fake.

#include "app/input.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/controls.h"
#include "app/scene_choice.h"
#include "app/session_run.h"
#include "app/solids.h"
#include "app/step_ahead.h"
#include "app/viewer.h"
#include "fake_gl.h"
#include "session/checksum.h"
#include "session/session_file.h"

namespace vellumry {
namespace {

using fake_gl::Call;
using fake_gl::expected;

// The viewer's values as the program starts, read before any test resets them.
struct Start {
  int mouseMode;
  double viewAngle;
  GLenum drawMode;
  bool fullscreen;
  double spinRate;
  bool paused;
  bool grabbing;
  std::uint64_t ticks;
  double motion;  // every drag coordinate and mount velocity component, summed
};
const Start kStart = {mouseMode,
                      viewAngle,
                      drawMode,
                      fullscreen,
                      spinRate,
                      paused,
                      grab.active,
                      tickCount,
                      dragStartX + dragStartY + mountVelocity0.x + mountVelocity0.y +
                          mountVelocity0.z + mountVelocity1.x + mountVelocity1.y +
                          mountVelocity1.z};

TEST(StartTest, TheViewerStartsFromItsInitialValuesBeforeAnyReset) {
  EXPECT_EQ(kStart.mouseMode, -1);
  EXPECT_EQ(kStart.viewAngle, -80.0);
  EXPECT_EQ(kStart.drawMode, static_cast<GLenum>(GL_SMOOTH));
  EXPECT_FALSE(kStart.fullscreen);
  EXPECT_EQ(kStart.spinRate, 0.0);
  EXPECT_FALSE(kStart.paused);
  EXPECT_FALSE(kStart.grabbing);
  EXPECT_EQ(kStart.ticks, 0U);
  EXPECT_EQ(kStart.motion, 0.0);
}

double maxSpeed() {
  double v = 0.0;
  for (int j = 0; j < cloth.particleCount; ++j) {
    v = std::fmax(v, std::sqrt(cloth.particles[j].velocity.lengthSquared()));
    if (!std::isfinite(v)) {
      return v;
    }
  }
  return v;
}

// Model: cloth x to screen x, cloth z to screen y, depth from cloth y; projection: a fifth of
// each. Grid vertex (c, r) of the flat cloth is drawn at GLUT pixel (250 + 50 s c, 249 - 50 s r)
// with s = 3 / 14: about 10.7 pixels apart.
void useEdgeOnView() {
  fake_gl::Answers& a = fake_gl::answers();
  a.viewport = {0, 0, 500, 500};
  a.modelview = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  a.projection = {0.2, 0, 0, 0, 0, 0.2, 0, 0, 0, 0, 0.2, 0, 0, 0, 0, 1};
}

class InputTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_gl::resetProgram();
    initScene();
    fake_gl::clear();
  }
  void TearDown() override {
    finishSession();
    fake_gl::resetProgram();
  }
  static void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      tick(0);
    }
    fake_gl::clear();
  }
  static void shiftPress(int x, int y) {
    fake_gl::answers().modifiers = GLUT_ACTIVE_SHIFT;
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
    fake_gl::answers().modifiers = 0;
  }
};

// What an input did: the calls it made and the state it left.
struct Outcome {
  std::vector<Call> calls;
  int mouseMode;
  GLenum drawMode;
  bool fullscreen;
  std::uint64_t cloth;
};

Outcome outcomeOf(const std::function<void()>& input) {
  fake_gl::resetProgram();
  initScene();
  for (int i = 0; i < 5; ++i) {
    tick(0);
  }
  fake_gl::clear();
  input();
  return {fake_gl::take(), mouseMode, drawMode, fullscreen, clothChecksum(cloth)};
}

void expectSameOutcome(const Outcome& a, const Outcome& b) {
  EXPECT_TRUE(fake_gl::sameCalls(a.calls, b.calls));
  EXPECT_EQ(a.mouseMode, b.mouseMode);
  EXPECT_EQ(a.drawMode, b.drawMode);
  EXPECT_EQ(a.fullscreen, b.fullscreen);
  EXPECT_EQ(a.cloth, b.cloth);
}

TEST_F(InputTest, EachKeyDoesWhatItsMenuEntryDoes) {
  const struct {
    unsigned char key;
    int value;
  } cases[] = {{'r', kMenuRotate}, {'E', kMenuEndpointDist}, {'f', kMenuFlap},
               {'D', kMenuRedrop}, {'w', kMenuDrawMode},     {'W', kMenuDrawMode}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "key '" << c.key << "'");
    expectSameOutcome(outcomeOf([&] { onKey(c.key, 0, 0); }), outcomeOf([&] { onMenu(c.value); }));
  }
  expectSameOutcome(outcomeOf([] { onSpecial(GLUT_KEY_F11, 0, 0); }),
                    outcomeOf([] { onMenu(kMenuFullscreen); }));
  // Esc leaves full screen, and in a window does nothing.
  expectSameOutcome(outcomeOf([] { onKey(27, 0, 0); }), outcomeOf([] {}));
  expectSameOutcome(outcomeOf([] {
                      onSpecial(GLUT_KEY_F11, 0, 0);
                      onKey(27, 0, 0);
                    }),
                    outcomeOf([] {
                      onMenu(kMenuFullscreen);
                      onMenu(kMenuFullscreen);
                    }));
  const Outcome quit = outcomeOf([] { onKey('Q', 0, 0); });
  EXPECT_TRUE(fake_gl::sameCalls(quit.calls, {expected("glutLeaveMainLoop", {})}));
}

TEST_F(InputTest, PauseFreezesEveryBitWhileFramesAndTheSpinGoOnAndStepAdvancesOneTick) {
  ticks(10);
  spinRate = 2.5;
  mountVelocity0 = Vec3(0.01, 0.0, 0.0);
  onKey(' ', 0, 0);
  auto frozen = std::make_unique<Cloth>();
  frozen->build(kClothWidth, kClothGridSize);
  std::copy(cloth.particles.begin(), cloth.particles.end(), frozen->particles.begin());
  const double angle = viewAngle;
  for (int t = 0; t < 100; ++t) {
    tick(0);
    ASSERT_EQ(fake_gl::count("glutSwapBuffers"), 1) << "tick " << t;
    fake_gl::clear();
  }
  EXPECT_EQ(clothChecksum(cloth), clothChecksum(*frozen));
  EXPECT_EQ(cloth.particleAt(0, 0).position.x, 0.0) << "no mount moves while paused";
  EXPECT_EQ(viewAngle, angle + 250.0);

  // s: the frozen cloth's two steps and its mount move, by hand.
  frozen->step(kTimeStep);
  frozen->step(kTimeStep);
  frozen->particleAt(0, 0).position += mountVelocity0;
  onKey('s', 0, 0);
  EXPECT_EQ(clothChecksum(cloth), clothChecksum(*frozen));
  EXPECT_EQ(fake_gl::count("glutSwapBuffers"), 0) << "a step draws nothing by itself";

  onKey('d', 0, 0);  // Redrop while paused: flat, and still paused
  frozen->build(kClothWidth, kClothGridSize);
  ticks(3);
  EXPECT_TRUE(paused);
  EXPECT_EQ(clothChecksum(cloth), clothChecksum(*frozen));
  onKey(' ', 0, 0);
  ticks(1);
  EXPECT_NE(clothChecksum(cloth), clothChecksum(*frozen));
}

TEST_F(InputTest, ShiftPressPicksTheParticleDrawnNearestWithinTwentyPixels) {
  useEdgeOnView();
  const struct {
    int x, y, particle;
  } cases[] = {
      {400, 99, 224},  // corner (14, 14)
      {250, 249, 0},   // mount (0, 0)
      {257, 242, 16},  // nearer (1, 1) at 10.7, 10.7 than (0, 0)
      {419, 99, 224},  // 19 pixels right of the corner
      {421, 99, -1},   // 21 pixels
      {250, 280, -1},  // 30 pixels below the mounts' row
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pointer " << c.x << ", " << c.y);
    shiftPress(c.x, c.y);
    EXPECT_EQ(grab.active ? grab.particle : -1, c.particle);
    if (c.particle < 0) {
      EXPECT_EQ(dragStartX, c.x) << "nothing picked: a plain press";
    }
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, c.x, c.y);
  }
}

TEST_F(InputTest, AHeldParticleFollowsThePointerAndIsLetGoAsItWas) {
  useEdgeOnView();
  onMenu(kMenuRotate);
  shiftPress(400, 99);
  ASSERT_TRUE(grab.active);
  EXPECT_TRUE(cloth.particles[224].pinned);
  onMotion(450, 99);  // 50 pixels right: one unit along x, on the plane through the particle
  EXPECT_NEAR(grab.target.x, 4.01, 1e-9);
  EXPECT_NEAR(grab.target.y, 0.0, 1e-9);
  EXPECT_NEAR(grab.target.z, 3.01, 1e-9);
  EXPECT_EQ(spinRate, 0.0) << "a pull is not a drag";

  double left = std::sqrt((grab.target - cloth.particles[224].position).lengthSquared());
  for (int t = 0; t < 30; ++t) {
    ticks(1);
    const double now = std::sqrt((grab.target - cloth.particles[224].position).lengthSquared());
    EXPECT_LE(left - now, kGrabStep + 1e-12) << "tick " << t;
    EXPECT_LE(now, left) << "tick " << t;
    left = now;
  }
  EXPECT_LT(left, 0.05);
  fake_gl::answers().modifiers = GLUT_ACTIVE_SHIFT;  // a Shift release is a release
  spinRate = 3.0;
  onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 450, 99);
  EXPECT_FALSE(grab.active);
  EXPECT_FALSE(cloth.particles[224].pinned);
  EXPECT_EQ(cloth.particles[224].velocity.lengthSquared(), 0.0);
  EXPECT_EQ(spinRate, 0.0);

  onKey('d', 0, 0);
  shiftPress(250, 249);  // a mount stays a mount
  ASSERT_TRUE(grab.active);
  onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 250, 249);
  EXPECT_TRUE(cloth.particles[0].pinned);
}

TEST_F(InputTest, AFlingAcrossTheWindowStaysFiniteAndTheClothComesToRest) {
  const struct {
    int particle;
    Vec3 offset;
  } cases[] = {{112, {4, 6, -3}}, {112, {-5, -4, 4}}, {224, {0, -8, 0}},
               {7, {6, 0, 6}},    {0, {-3, 7, -5}},   {140, {8, 8, 8}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "particle " << c.particle);
    cloth.build(kClothWidth, kClothGridSize);
    for (int t = 0; t < 100; ++t) {
      stepOnce();
    }
    Vec3 target = cloth.particles[c.particle].position;
    target += c.offset;
    applyEvent(targetEvent(EventKind::kGrab, c.particle, cloth.particles[c.particle].position));
    applyEvent(targetEvent(EventKind::kPull, 0, target));
    for (int t = 0; t < 250; ++t) {  // five seconds held
      stepOnce();
      ASSERT_TRUE(std::isfinite(maxSpeed())) << "held, tick " << t;
    }
    applyEvent(pointerEvent(EventKind::kRelease));
    int t = 0;
    while (t < 3000 && maxSpeed() >= 1e-3) {
      stepOnce();
      ++t;
    }
    EXPECT_LT(maxSpeed(), 1e-3) << "still moving " << t << " ticks after the release";
  }
}

TEST_F(InputTest, ReshapeKeepsThePicturesShape) {
  const auto projection = [](double aspect, double w, double h) {
    return std::vector<Call>{
        expected("glMatrixMode", {GL_PROJECTION}),
        expected("glLoadIdentity", {}),
        expected("gluPerspective", {30.0, aspect, 1.0, 100.0}),
        expected("glViewport", {0.0, 0.0, w, h}),
        expected("gluLookAt", {0.0, 0.0, -13.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0}),
        expected("glMatrixMode", {GL_MODELVIEW}),
    };
  };
  reshape(500, 500);
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), projection(1.0, 500, 500)));
  reshape(1024, 768);
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), projection(1024.0 / 768.0, 1024, 768)));
  reshape(320, 0);
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), projection(320.0, 320, 1)));
}

// --- Sessions ---

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<Record> parseOrFail(const std::string& text, const std::string& name,
                                Scene* start = nullptr) {
  std::vector<Record> records;
  Scene scene;
  ParseError error;
  EXPECT_TRUE(parseSession(text, scene, records, error))
      << name << ":" << error.line << ": " << error.message;
  if (start != nullptr) {
    *start = scene;
  }
  return records;
}

// Replays from the start state as the headless renderer does, on this many threads (each given
// a band however small the cloth); returns the exit status.
int replay(std::vector<Record> records, const Scene& start = Scene(), int threads = 1) {
  fake_gl::resetProgram();
  scene = start;
  cloth.setThreads(threads, 1);
  initScene();
  startReplay(std::move(records), "test");
  while (beforeTick()) {
    onKey('w', 0, 0);  // live input is ignored
    runTick();
    afterTick();
    fake_gl::clear();
  }
  return finishSession();
}

// Opens the session file as the program does, on this many threads; returns the exit status.
int replayFile(const std::string& path, int threads) {
  fake_gl::resetProgram();
  cloth.setThreads(threads, 1);
  if (const int status = openReplay(path); status != 0) {
    return status;
  }
  initScene();
  while (beforeTick()) {
    runTick();
    afterTick();
    fake_gl::clear();
  }
  return finishSession();
}

TEST_F(InputTest, ALiveSessionReplaysToTheSameBitsAndAChangedOneFailsAtItsTick) {
  const std::string path = testing::TempDir() + "input_test_" + std::to_string(getpid());
  startRecording(std::fopen(path.c_str(), "w"), path);
  useEdgeOnView();
  onKey('f', 0, 0);
  onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 200, 300);
  onMotion(260, 250);
  ticks(30);
  onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 260, 250);
  shiftPress(400, 200);
  ASSERT_TRUE(grab.active);
  onMotion(470, 120);
  ticks(40);
  onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 470, 120);
  onKey(' ', 0, 0);
  ticks(10);
  onKey('s', 0, 0);
  onKey(' ', 0, 0);
  onKey('w', 0, 0);
  ticks(55);
  const std::uint64_t live = clothChecksum(cloth);
  ASSERT_EQ(finishSession(), 0);

  const std::string text = readText(path);
  std::filesystem::remove(path);
  std::vector<Record> records = parseOrFail(text, path);
  ASSERT_GE(records.size(), 10U);
  EXPECT_EQ(records.back().kind, RecordKind::kEnd);
  EXPECT_EQ(records.back().tick, 135U);
  EXPECT_EQ(records.back().checksum, live);
  EXPECT_NE(text.find("\n50 check "), std::string::npos);
  EXPECT_NE(text.find("\n100 check "), std::string::npos);
  EXPECT_NE(text.find(" grab "), std::string::npos);

  EXPECT_EQ(replay(records), 0);
  EXPECT_EQ(clothChecksum(cloth), live);
  EXPECT_EQ(drawMode, static_cast<GLenum>(GL_FLAT));

  for (Record& r : records) {
    if (r.kind == RecordKind::kCheck && r.tick == 100) {
      r.checksum ^= 1U;
    }
  }
  EXPECT_EQ(replay(records), 3);
  EXPECT_EQ(tickCount, 100U) << "the replay stops where the cloth differs";
}

// A cloth finer than kAheadGrid takes each tick's steps ahead, on two threads driven from the
// stepping thread; what those steps read waits for them, the rest acts at once, and the session
// recorded so replays on one thread to the same bits, up to the tick under way at the end.
TEST_F(InputTest, StepsTakenAheadHoldWhatTheyReadAndTheirSessionReplaysToTheSameBits) {
  Scene big = scene;
  big.grid = kAheadGrid + 8;
  applyScene(big, true);
  cloth.setThreads(2, 1);
  const std::string path = testing::TempDir() + "ahead_test_" + std::to_string(getpid());
  startRecording(std::fopen(path.c_str(), "w"), path);
  beginStepAhead();
  useEdgeOnView();
  onKey('f', 0, 0);
  onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 200, 300);
  onMotion(260, 250);
  ticks(30);
  ASSERT_TRUE(steppedAhead());
  onMotion(250, 260);  // acts at once
  onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 250, 260);
  onMotion(240, 270);  // behind the held release
  shiftPress(400, 200);
  EXPECT_FALSE(grab.active) << "the grab waits for the steps under way";
  onMotion(470, 120);
  ticks(1);
  EXPECT_TRUE(grab.active);
  ticks(40);
  onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 470, 120);
  onKey(' ', 0, 0);
  ticks(10);
  EXPECT_FALSE(steppedAhead()) << "no steps are taken while paused";
  onKey(' ', 0, 0);
  ticks(20);
  const std::uint64_t ticked = tickCount;
  endStepAhead();
  const std::uint64_t live = clothChecksum(cloth);
  ASSERT_EQ(finishSession(), 0);
  cloth.setThreads(1);

  const std::string text = readText(path);
  std::filesystem::remove(path);
  Scene start;
  std::vector<Record> records = parseOrFail(text, path, &start);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().kind, RecordKind::kEnd);
  EXPECT_EQ(records.back().tick, ticked + 1);
  EXPECT_EQ(records.back().checksum, live);
  for (const char* line : {"\n30 motion 250 260\n31 release ", "\n31 motion 240 270\n31 grab ",
                           "\n31 pull ", "\n72 release 470 120\n72 pause\n81 pause\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " not in\n" << text;
  }
  EXPECT_EQ(replay(records, start), 0);
  EXPECT_EQ(clothChecksum(cloth), live);
}

TEST_F(InputTest, GoldenSessionsReplayToTheirChecksumsOnAnyNumberOfThreads) {
  int sessions = 0;
  int tuned = 0;
  int worlds = 0;
  int solids = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VELLUMRY_SESSIONS_DIR)) {
    const std::string name = entry.path().string();
    Scene start;
    const std::vector<Record> records = parseOrFail(readText(name), name, &start);
    const auto checks = std::count_if(records.begin(), records.end(),
                                      [](const Record& r) { return r.hasChecksum; });
    EXPECT_GE(checks, 2) << name;
    for (const int threads : {1, 2, 4}) {
      // A session with a solid opens as the program opens it: its mesh file read and checked.
      EXPECT_EQ(meshPath(start.meshFile).empty() ? replay(records, start, threads)
                                                 : replayFile(name, threads),
                0)
          << name << " on " << threads << " threads";
    }
    solids += meshPath(start.meshFile).empty() ? 0 : 1;
    tuned += isDefaultScene(start) ? 0 : 1;
    worlds += worldActs(start.world) && start.tearRatio != 0.0 && !start.pins.mounts ? 1 : 0;
    ++sessions;
  }
  cloth.setThreads(1);
  EXPECT_GE(sessions, 2);
  EXPECT_GE(tuned, 1) << "a golden session of a tuned scene, large enough to split over threads";
  EXPECT_GE(worlds, 1) << "a golden session with wind, ball, floor, tearing and pins";
  EXPECT_GE(solids, 1) << "a golden session with self-collision and a solid";
}

// Applied in order, a loaded scene's events give it whole; the stiffness waits for the step.
TEST_F(InputTest, ASceneLoadedThroughEventsIsTheSceneItself) {
  Scene loaded;
  loaded.grid = 200;
  loaded.material.stiffness = 10000.0;
  loaded.step = 0.01;
  loaded.world.ball = {true, Vec3(0.5, -2.0, 1.0), 0.8, 0.3};
  loaded.tearRatio = 2.0;
  loaded.pins = {false, 2, {}};
  loaded.pins.at[1] = {199, 0};
  const std::vector<Event> events = sceneEvents(scene, loaded);
  EXPECT_TRUE(events.back().kind == EventKind::kMenu && events.back().value == kMenuRedrop);
  for (const Event& e : events) {
    applyEvent(e);
  }
  for (const Param& p : sceneParams()) {
    EXPECT_EQ((p.get(scene) - p.get(loaded)).lengthSquared(), 0.0) << p.key;
  }
  EXPECT_TRUE(!scene.pins.mounts && scene.pins.count == 2 && cloth.gridSize == 200);
  EXPECT_TRUE(cloth.particleAt(199, 0).pinned && !cloth.particleAt(0, 199).pinned);
  EXPECT_EQ(sceneEvents(scene, loaded).size(), 4U) << "nothing differs: the pins and the Redrop";
}

// Killed after any tick, the program leaves on disk every record of the ticks it drew: the
// events applied before them and their checks, each line whole. With --force the recording
// replaces a file that was there (without it the file stays: command_line.sh).
TEST_F(InputTest, ARecordingIsOnDiskUpToTheLastTickDrawn) {
  const std::string path = testing::TempDir() + "through_" + std::to_string(getpid());
  std::ofstream(path) << "keep\n";
  Options options;
  options.recordPath = path;
  options.force = true;
  ASSERT_EQ(startSession(options), 0);
  onKey('f', 0, 0);
  std::vector<std::string> onDisk;
  for (int t = 0; t < 120; ++t) {
    if (t % 7 == 0) {
      onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 200 + t, 300);
    } else if (t % 7 == 3) {
      onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 260, 250 - t);
    }
    ticks(1);
    onDisk.push_back(readText(path));
  }
  ASSERT_EQ(finishSession(), 0);
  const std::string whole = readText(path);
  std::filesystem::remove(path);
  for (std::uint64_t drawn = 1; drawn <= onDisk.size(); ++drawn) {
    std::string due;  // the start, the records before this tick and its check
    std::istringstream lines(whole);
    for (std::string line; std::getline(lines, line);) {
      const bool record = std::isdigit(static_cast<unsigned char>(line[0])) != 0;
      const std::uint64_t tick = record ? std::stoull(line) : 0;
      if (record &&
          (tick > drawn || (tick == drawn && line.find(" check ") == std::string::npos))) {
        break;  // an input after the last tick drawn, or the end
      }
      due += line + "\n";
    }
    ASSERT_EQ(onDisk[drawn - 1], due) << "after " << drawn << " ticks";
  }
  EXPECT_EQ(whole.rfind(kSessionHeader, 0), 0U);
  EXPECT_NE(onDisk.back().find("\n100 check "), std::string::npos);
}

// F12 twice within one second: two pictures, the second under the next free name.
TEST_F(InputTest, TwoSnapshotsInOneSecondAreTwoFiles) {
  const std::filesystem::path home = std::filesystem::current_path();
  const std::filesystem::path dir = testing::TempDir() + "shots_" + std::to_string(getpid());
  fake_gl::answers().viewport = {0, 0, 20, 10};
  std::vector<std::string> names;
  const auto second = [](const std::string& name) { return name.substr(0, 26); };
  for (int attempt = 0; attempt < 5 && (names.size() != 2 || second(names[0]) != second(names[1]));
       ++attempt) {  // another try only when the clock turned a second between the two
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    std::filesystem::current_path(dir);
    testing::internal::CaptureStdout();
    for (int shot = 0; shot < 2; ++shot) {
      onSpecial(GLUT_KEY_F12, 0, 0);
      ticks(1);
    }
    std::istringstream printed(testing::internal::GetCapturedStdout());
    names.clear();
    for (std::string line; std::getline(printed, line);) {
      names.push_back(std::filesystem::path(line).filename());
    }
    std::filesystem::current_path(home);
  }
  ASSERT_EQ(names.size(), 2U);
  ASSERT_EQ(second(names[0]), second(names[1])) << "five tries, each across a second";
  EXPECT_EQ(names[1], second(names[0]) + "-2.png");
  for (const std::string& name : names) {
    EXPECT_EQ(readText(dir / name).substr(1, 3), "PNG") << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
  std::filesystem::remove_all(dir);
}

// A solid is kept once, put in force, moved and taken away by events alone, each recorded with
// its file named from the session's folder; an event naming no solid kept changes nothing.
TEST_F(InputTest, ASolidChangesThroughEventsAndIsRecordedBesideTheSession) {
  const std::string dir = testing::TempDir() + "input_test_mesh_" + std::to_string(getpid());
  std::filesystem::create_directories(dir + "/meshes");
  std::filesystem::create_directories(dir + "/sessions");
  std::ofstream(dir + "/meshes/tri.obj") << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
  initScene();
  std::string error;
  const int index = loadSolid(dir + "/meshes/tri.obj", error);
  ASSERT_GE(index, 0) << error;
  EXPECT_EQ(loadSolid(dir + "/meshes/../meshes/tri.obj", error), index) << "kept once";
  EXPECT_EQ(loadSolid(dir + "/none.obj", error), -1);
  EXPECT_NE(error.find("none.obj: no such file"), std::string::npos) << error;
  const std::string path = dir + "/sessions/s.session";
  startRecording(std::fopen(path.c_str(), "w"), path);
  submit(meshEvent(index));
  ASSERT_EQ(collider.solidTriangles().size(), 1U);
  EXPECT_EQ(meshPath(scene.meshFile), dir + "/meshes/tri.obj");
  submit(setEvent(findParam("mesh.position"), Vec3(1, 2, 3)));
  const Vec3 placed = collider.solidPoints()[2];  // (1, 0, 0), the last in order
  EXPECT_TRUE(placed.x == 2 && placed.y == 2 && placed.z == 3);
  submit(meshEvent(index + 1));
  EXPECT_TRUE(collider.hasSolid()) << "no such solid: nothing changes";
  ticks(3);
  submit(meshEvent(-1));
  EXPECT_FALSE(collider.hasSolid());
  EXPECT_EQ(meshPath(scene.meshFile), "");
  ASSERT_EQ(finishSession(), 0);
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016llx",
                static_cast<unsigned long long>(loadedSolid(index)->digest));
  const std::string text = readText(path);
  const std::string events = "\n0 mesh " + std::string(digest) +
                             " ../meshes/tri.obj\n0 set mesh.position 1 2 3\n3 mesh none\n";
  EXPECT_NE(text.find(events), std::string::npos) << text;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vellumry
