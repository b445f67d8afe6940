// Drives the real controls and frame loop with a long seeded stream of hostile mouse and menu
// events against the recording GL/GLUT fake. Set VELLUMRY_HOSTILE_SEED to replay a seed and
// VELLUMRY_HOSTILE_EVENTS to change the number of events (default 100000).

#include <GL/gl.h>
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "app/controls.h"
#include "app/viewer.h"
#include "fake_gl.h"

namespace vellumry {
namespace {

constexpr std::uint64_t kDefaultSeed = 20261207;
constexpr long kDefaultEvents = 100000;
constexpr int kCheckpoints = 4;  // besides the one after the blow-up and the one at the end
constexpr int kTicksAfterCheckpoint = 50;

std::uint64_t seedFromEnvironment() {
  const char* text = std::getenv("VELLUMRY_HOSTILE_SEED");
  return text != nullptr ? std::strtoull(text, nullptr, 0) : kDefaultSeed;
}

long eventsFromEnvironment() {
  const char* text = std::getenv("VELLUMRY_HOSTILE_EVENTS");
  return text != nullptr ? std::strtol(text, nullptr, 0) : kDefaultEvents;
}

bool same(double a, double b) { return fake_gl::bits(a) == fake_gl::bits(b); }
bool same(const Vec3& a, const Vec3& b) {
  return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}

// Where a pointer points in a cloth's pools: which pool and which entry, -1 for null, or -2 when
// it points at no entry of that pool. Only compares addresses, never dereferences.
template <typename T, typename U>
long entryOf(const U* p, const T* pool, std::size_t size) {
  if (p == nullptr) {
    return -1;
  }
  const auto* first = reinterpret_cast<const unsigned char*>(pool);
  const auto* at = reinterpret_cast<const unsigned char*>(p);
  const std::less<const unsigned char*> before;
  if (before(at, first) || !before(at, first + size * sizeof(T))) {
    return -2;
  }
  const auto offset = static_cast<std::size_t>(at - first);
  const std::size_t index = offset / sizeof(T);
  // The pointer must be the entry itself, as a U, not somewhere inside it.
  return static_cast<const U*>(&pool[index]) == p ? static_cast<long>(index) : -2;
}

long particleEntry(const Cloth& c, const Particle* p) {
  return entryOf<Particle>(p, c.particles.data(), c.particles.size());
}

// A force in the system list: pool 0 gravities, 1 drags, 2 springs; -1 for none.
std::array<long, 2> forceEntry(const Cloth& c, const Force* f) {
  if (const long g = entryOf<Gravity>(f, c.gravities.data(), c.gravities.size()); g >= 0) {
    return {0, g};
  }
  if (const long d = entryOf<Drag>(f, c.drags.data(), c.drags.size()); d >= 0) {
    return {1, d};
  }
  if (const long s = entryOf<Spring>(f, c.springs.data(), c.springs.size()); s >= 0) {
    return {2, s};
  }
  return {-1, f == nullptr ? -1 : -2};
}

// Every record of the two cloths, field by field and bit for bit, with every pointer pointing at
// the same entry of its own cloth's pools. The normals are left out: building does not touch them.
testing::AssertionResult sameCloth(const Cloth& a, const Cloth& b) {
  for (int j = 0; j < kMaxParticles; ++j) {
    const Particle& p = a.particles[j];
    const Particle& q = b.particles[j];
    if (!same(p.force, q.force) || !same(p.position, q.position) || !same(p.velocity, q.velocity) ||
        !same(p.mass, q.mass) || p.pinned != q.pinned) {
      return testing::AssertionFailure()
             << "particle " << j << " differs:" << (same(p.force, q.force) ? "" : " force")
             << (same(p.position, q.position) ? "" : " position")
             << (same(p.velocity, q.velocity) ? "" : " velocity")
             << (same(p.mass, q.mass) ? "" : " mass") << (p.pinned == q.pinned ? "" : " pinned");
    }
    if (!same(a.gravities[j].acceleration, b.gravities[j].acceleration) ||
        particleEntry(a, a.gravities[j].particle) != particleEntry(b, b.gravities[j].particle)) {
      return testing::AssertionFailure() << "gravity " << j;
    }
    if (!same(a.drags[j].coefficient, b.drags[j].coefficient) ||
        particleEntry(a, a.drags[j].particle) != particleEntry(b, b.drags[j].particle)) {
      return testing::AssertionFailure() << "drag " << j;
    }
  }
  for (int i = 0; i < kMaxSprings; ++i) {
    const Spring& s = a.springs[i];
    const Spring& t = b.springs[i];
    if (!same(s.stiffness, t.stiffness) || !same(s.restLength, t.restLength) ||
        particleEntry(a, s.particleA) != particleEntry(b, t.particleA) ||
        particleEntry(a, s.particleB) != particleEntry(b, t.particleB)) {
      return testing::AssertionFailure() << "spring " << i;
    }
  }
  if (!same(a.width, b.width) || a.gridSize != b.gridSize || a.particleCount != b.particleCount ||
      a.springCount != b.springCount) {
    return testing::AssertionFailure() << "counts: grid " << a.gridSize << ", particles "
                                       << a.particleCount << ", springs " << a.springCount;
  }
  if (a.system.particles.size() != b.system.particles.size() ||
      a.system.forces.size() != b.system.forces.size()) {
    return testing::AssertionFailure() << "system lists: " << a.system.particles.size()
                                       << " particles, " << a.system.forces.size() << " forces";
  }
  for (std::size_t i = 0; i < a.system.particles.size(); ++i) {
    const long entry = particleEntry(a, a.system.particles[i]);
    if (entry < 0 || entry != particleEntry(b, b.system.particles[i])) {
      return testing::AssertionFailure() << "system particle " << i << " is entry " << entry;
    }
  }
  for (std::size_t i = 0; i < a.system.forces.size(); ++i) {
    const std::array<long, 2> entry = forceEntry(a, a.system.forces[i]);
    if (entry[0] < 0 || entry != forceEntry(b, b.system.forces[i])) {
      return testing::AssertionFailure()
             << "system force " << i << " is entry " << entry[1] << " of pool " << entry[0];
    }
  }
  return testing::AssertionSuccess();
}

bool blownUp(const Cloth& c) {
  for (int j = 0; j < c.particleCount; ++j) {
    const Vec3& p = c.particles[j].position;
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      return true;
    }
  }
  return false;
}

// One event of the stream, kept for the failure message.
struct Event {
  long number = 0;
  char kind = ' ';  // m menu, b button, v motion, t tick
  int a = 0;
  int b = 0;
  int x = 0;
  int y = 0;
};

std::ostream& operator<<(std::ostream& os, const Event& event) {
  os << "#" << event.number << " ";
  switch (event.kind) {
    case 'm':
      return os << "onMenu(" << event.a << ")";
    case 'b':
      return os << "onMouse(" << event.a << ", " << event.b << ", " << event.x << ", " << event.y
                << ")";
    case 'v':
      return os << "onMotion(" << event.x << ", " << event.y << ")";
    default:
      return os << "tick(0)";
  }
}

class HostileInputTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_gl::resetProgram();
    initScene();
    fake_gl::clear();
  }
  void TearDown() override { fake_gl::resetProgram(); }

  // Runs one event through the program and checks what must hold after it whatever came before.
  // Returns false (after recording a failure) when something is wrong.
  bool run(char kind, int a = 0, int b = 0, int x = 0, int y = 0) {
    Event& event = recent_[static_cast<std::size_t>(count_) % recent_.size()];
    event = Event{count_, kind, a, b, x, y};
    ++count_;
    const bool flat = drawMode == GL_FLAT;
    switch (kind) {
      case 'm':
        onMenu(a);
        fullscreenChoices_ += a == kMenuFullscreen ? 1 : 0;
        if (a == kMenuFullscreen || a == kMenuDrawMode) {
          // One GLUT call for the window, or the lighting and polygon-mode change (three calls).
          const std::size_t wanted = a == kMenuFullscreen ? 1 : 3;
          if (fake_gl::calls().size() != wanted) {
            return fail("menu command made " + std::to_string(fake_gl::calls().size()) + " calls");
          }
          if (a == kMenuDrawMode && (drawMode == GL_FLAT) == flat) {
            return fail("DrawMode did not toggle the style");
          }
        } else if (!fake_gl::calls().empty()) {
          return fail("a drag choice or Redrop called GL");
        }
        if (a == kMenuRedrop && !(cloth.particleAt(0, 14).position.z == 3.0)) {
          return fail("Redrop left the second mount off its place");
        }
        break;
      case 'b':
        onMouse(a, b, x, y);
        if (!fake_gl::calls().empty()) {
          return fail("a mouse button called GL");
        }
        if (a == GLUT_LEFT_BUTTON && b == GLUT_UP &&
            (spinRate != 0.0 || !same(mountVelocity0, Vec3()) || !same(mountVelocity1, Vec3()))) {
          return fail("a left release left a rate set");
        }
        if (a == GLUT_LEFT_BUTTON && b == GLUT_DOWN && (dragStartX != x || dragStartY != y)) {
          return fail("a left press did not store its point");
        }
        break;
      case 'v':
        onMotion(x, y);
        if (!fake_gl::calls().empty()) {
          return fail("a motion called GL");
        }
        if (!std::isfinite(spinRate) || !std::isfinite(mountVelocity0.x) ||
            !std::isfinite(mountVelocity0.z) || !std::isfinite(mountVelocity1.z)) {
          return fail("a motion set a rate that is not finite");
        }
        break;
      default: {
        tick(0);
        const std::vector<fake_gl::Call>& calls = fake_gl::calls();
        int clears = 0;
        int swaps = 0;
        int timers = 0;
        int vertices = 0;
        for (const fake_gl::Call& call : calls) {
          clears += call.name == "glClear" ? 1 : 0;
          swaps += call.name == "glutSwapBuffers" ? 1 : 0;
          timers += call.name == "glutTimerFunc" ? 1 : 0;
          vertices += call.name == "glVertex3d" ? 1 : 0;
        }
        if (clears != 1 || swaps != 1 || timers != 1 || calls.front().name != "glClear" ||
            calls.back().intCallback != tick) {
          return fail("a tick is one frame, then the timer");
        }
        // 28 strips of 56 vertices, or 812 lines of 2.
        if (vertices != (flat ? 812 * 2 : 28 * 56)) {
          return fail("a frame drew " + std::to_string(vertices) + " vertices");
        }
        break;
      }
    }
    fake_gl::clear();
    if (fullscreen != (fullscreenChoices_ % 2 == 1)) {
      return fail("fullscreen does not follow the Fullscreen choices");
    }
    if (drawMode != GL_SMOOTH && drawMode != GL_FLAT) {
      return fail("drawMode is neither style");
    }
    if (cloth.particleCount != 225 || cloth.springCount != 812 ||
        cloth.system.particles.size() != 225 || cloth.system.forces.size() != 1262) {
      return fail("the cloth's counts changed");
    }
    return true;
  }

  bool fail(const std::string& what) {
    std::ostringstream out;
    out << what << " after event " << count_ - 1 << "; the last events:";
    const long from =
        count_ > static_cast<long>(recent_.size()) ? count_ - static_cast<long>(recent_.size()) : 0;
    for (long i = from; i < count_; ++i) {
      out << "\n  " << recent_[static_cast<std::size_t>(i) % recent_.size()];
    }
    ADD_FAILURE() << out.str();
    return false;
  }

  // A left release, then "Redrop": the cloth must be a freshly built one, and must step for
  // kTicksAfterCheckpoint ticks with no input to the same bits as a fresh program's cloth.
  void checkpoint(const std::string& label) {
    SCOPED_TRACE(label);
    ASSERT_TRUE(run('b', GLUT_LEFT_BUTTON, GLUT_UP, 250, 250));
    ASSERT_TRUE(run('m', kMenuRedrop));
    auto fresh = std::make_unique<Cloth>();
    fresh->build(kClothWidth, kClothGridSize);
    ASSERT_TRUE(sameCloth(cloth, *fresh)) << "after the release and Redrop";

    const double angle = viewAngle;
    for (int t = 0; t < kTicksAfterCheckpoint; ++t) {
      ASSERT_TRUE(run('t'));
      fresh->step(kTimeStep);
      fresh->step(kTimeStep);
      fresh->particleAt(0, 0).position += Vec3();
      fresh->particleAt(0, 14).position += Vec3();
    }
    EXPECT_TRUE(same(viewAngle, angle)) << "nothing spins after a left release";
    ASSERT_TRUE(sameCloth(cloth, *fresh)) << "after " << kTicksAfterCheckpoint << " ticks";
    cloth.computeNormals();
    fresh->computeNormals();
    for (int j = 0; j < fresh->particleCount; ++j) {
      ASSERT_TRUE(same(cloth.normals[j], fresh->normals[j])) << "normal " << j;
    }
    ASSERT_FALSE(blownUp(cloth));
  }

  // The most violent drags there are, then a cloth blown up to infinities and not-a-numbers,
  // dragged and drawn a while longer. The drags alone fling the mounts hundreds of millions of
  // units away but leave every value finite: the integrator is stable at these stiffnesses and a
  // drag's rates are bounded (at most 1.7e6 units per tick), so reaching an overflow would take
  // some 1e148 ticks. The infinities are therefore put into one mount by hand, standing in for
  // whatever a less stable build would reach, and the ticks spread them over the whole cloth.
  template <typename Coordinate>
  void wreck(Coordinate coordinate) {
    ASSERT_TRUE(run('m', kMenuRedrop));
    ASSERT_TRUE(run('m', kMenuEndpointDist) && run('b', GLUT_LEFT_BUTTON, GLUT_DOWN, 0, INT_MIN) &&
                run('v', 0, 0, 0, INT_MAX));
    for (int t = 0; t < 60; ++t) {
      ASSERT_TRUE(run('t'));
    }
    ASSERT_TRUE(run('m', kMenuFlap) && run('v', 0, 0, INT_MAX, INT_MIN));
    for (int t = 0; t < 60; ++t) {
      ASSERT_TRUE(run('v', 0, 0, t % 2 == 0 ? INT_MAX : INT_MIN, t % 3 == 0 ? INT_MIN : INT_MAX));
      ASSERT_TRUE(run('t'));
    }
    ASSERT_GT(std::abs(cloth.particleAt(0, 14).position.z), 1e8) << "the drags fling the mounts";

    cloth.particleAt(0, 0).position = Vec3(INFINITY, -INFINITY, INFINITY);
    for (int t = 0; t < 30; ++t) {
      ASSERT_TRUE(run('v', 0, 0, coordinate(), coordinate()));
      ASSERT_TRUE(run('t'));
    }
    for (int j = 0; j < cloth.particleCount; ++j) {
      const Vec3& p = cloth.particles[j].position;
      ASSERT_TRUE(cloth.particles[j].pinned || !std::isfinite(p.x + p.y + p.z))
          << "particle " << j << " should have been blown up with the rest";
    }
  }

  std::array<Event, 24> recent_{};
  long count_ = 0;
  int fullscreenChoices_ = 0;
};

TEST_F(HostileInputTest, NoEventStreamCorruptsTheClothOrEscapesThePools) {
  const std::uint64_t seed = seedFromEnvironment();
  const long events = eventsFromEnvironment();
  SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << events
                                  << " events (VELLUMRY_HOSTILE_SEED replays the seed)");
  std::mt19937_64 rng(seed);
  const auto below = [&rng](std::uint64_t n) { return static_cast<int>(rng() % n); };
  const auto chance = [&below](int percent) { return below(100) < percent; };

  // Window coordinates from ordinary to absurd.
  const auto coordinate = [&below, &rng]() -> int {
    switch (below(10)) {
      case 0:
        return below(100001) - 50000;  // tens of thousands of pixels either way
      case 1:
        return INT_MIN;
      case 2:
        return INT_MAX;
      case 3:
        return static_cast<int>(static_cast<std::uint32_t>(rng()));
      default:
        return below(700) - 100;
    }
  };
  const int buttons[] = {GLUT_LEFT_BUTTON,
                         GLUT_LEFT_BUTTON,
                         GLUT_LEFT_BUTTON,
                         GLUT_MIDDLE_BUTTON,
                         GLUT_MIDDLE_BUTTON,
                         GLUT_RIGHT_BUTTON,
                         3,
                         4,
                         -1,
                         INT_MIN,
                         INT_MAX};
  const int states[] = {GLUT_DOWN, GLUT_DOWN, GLUT_UP, GLUT_UP, 2, -1, INT_MAX};
  const int menu[] = {kMenuRotate, kMenuEndpointDist, kMenuFlap,
                      kMenuRedrop, kMenuDrawMode,     kMenuFullscreen};
  const auto anyMenu = [&]() { return menu[below(6)]; };

  // The wreck comes early, so that fewer events (as under the sanitizers) still include it.
  const long wreckAt = events / 10;
  bool wrecked = false;
  long nextCheckpoint = 1;
  bool ok = true;
  while (ok && count_ < events) {
    if (!wrecked && count_ >= wreckAt) {
      ASSERT_NO_FATAL_FAILURE(wreck([&coordinate]() { return coordinate(); }));
      ASSERT_NO_FATAL_FAILURE(checkpoint("checkpoint after the wreck"));
      wrecked = true;
      continue;
    }
    if (nextCheckpoint <= kCheckpoints && count_ >= events * nextCheckpoint / (kCheckpoints + 1)) {
      ASSERT_NO_FATAL_FAILURE(checkpoint("checkpoint " + std::to_string(nextCheckpoint) +
                                         " at event " + std::to_string(count_)));
      ++nextCheckpoint;
      continue;
    }
    const int roll = below(100);
    if (roll < 30) {
      ok = run('v', 0, 0, coordinate(), coordinate());
    } else if (roll < 45) {
      ok = run('b', GLUT_LEFT_BUTTON, chance(50) ? GLUT_DOWN : GLUT_UP, coordinate(), coordinate());
    } else if (roll < 53) {
      ok = run('b', buttons[below(std::size(buttons))], states[below(std::size(states))],
               coordinate(), coordinate());
    } else if (roll < 73) {
      ok = run('t');
    } else if (roll < 83) {
      ok = run('m', anyMenu());
    } else if (roll < 90) {
      // A middle-button drag: press, moves and ticks, release.
      ok = run('b', GLUT_MIDDLE_BUTTON, GLUT_DOWN, coordinate(), coordinate());
      for (int i = below(6); ok && i > 0; --i) {
        ok = run('v', 0, 0, coordinate(), coordinate()) && (chance(50) || run('t'));
      }
      ok = ok && run('b', GLUT_MIDDLE_BUTTON, GLUT_UP, coordinate(), coordinate());
    } else {
      // A left drag with a menu command in the middle; the release sometimes never comes.
      ok = run('m', menu[below(3)]) &&
           run('b', GLUT_LEFT_BUTTON, GLUT_DOWN, coordinate(), coordinate());
      for (int i = below(5); ok && i > 0; --i) {
        ok = run('v', 0, 0, coordinate(), coordinate()) && (chance(50) || run('t'));
      }
      ok = ok && run('m', chance(50) ? kMenuRedrop : kMenuFullscreen);
      for (int i = below(5); ok && i > 0; --i) {
        ok = run('v', 0, 0, coordinate(), coordinate()) && (chance(50) || run('t'));
      }
      ok = ok && (chance(30) || run('b', GLUT_LEFT_BUTTON, GLUT_UP, coordinate(), coordinate()));
    }
  }
  ASSERT_TRUE(ok);
  EXPECT_TRUE(wrecked);
  EXPECT_EQ(nextCheckpoint, kCheckpoints + 1) << "every checkpoint ran";
  checkpoint("final checkpoint");
}

}  // namespace
}  // namespace vellumry
