// The cloth against itself and the solids, checked frame by frame with an independent crossing
// detector: folding runs that cross without self-collision must not cross with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "collide_run.h"
#include "crossings.h"

namespace vellumry {
namespace {

// Ticks the run, calling `between` before each tick (as the program moves the mounts and the
// held particle), and counts the ticks whose frame has a crossing; the most at once in `most`,
// and in `pushed` the pairs the contacts pushed apart on the way.
int crossingFrames(ClothRun& run, int ticks, const std::function<void(int)>& between, int& most,
                   int* pushed = nullptr) {
  int frames = 0;
  most = 0;
  for (int t = 0; t < ticks; ++t) {
    between(t);
    run.tick();
    if (pushed != nullptr) {
      *pushed += run.collider.report().pushes;
    }
    const int c = clothCrossings(*run.cloth);
    frames += c > 0 ? 1 : 0;
    most = std::max(most, c);
  }
  return frames;
}

// Two mount points pushed together along the rod: the curtain gathers in folds.
void pushTogether(ClothRun& run, int t) {
  const int n = run.scene.grid;
  if (t >= 30 && run.at(0, n - 1).position.z - run.at(0, 0).position.z > 0.3) {
    run.at(0, 0).position += Vec3(0.0, 0.0, 0.012);
    run.at(0, n - 1).position += Vec3(0.0, 0.0, -0.012);
  }
}

TEST(SelfCollision, CurtainPushedTogetherNeverCrossesItself) {
  for (const bool self : {false, true}) {
    SCOPED_TRACE(self ? "self on" : "self off");
    ClothRun run(14, 2.0);
    run.scene.world.collision = {0.03, self};
    run.start();
    int most = 0;
    int pushed = 0;
    const int frames =
        crossingFrames(run, 160, [&run](int t) { pushTogether(run, t); }, most, &pushed);
    if (self) {
      EXPECT_EQ(frames, 0) << "frames with crossings; at most " << most << " pairs at once";
      EXPECT_GT(pushed, 100) << "the folds must have come together and been pushed apart";
    } else {
      EXPECT_GT(frames, 0) << "the run must fold the curtain through itself without contacts";
    }
  }
}

TEST(SelfCollision, HeapOnTheFloorNeverCrossesItself) {
  for (const bool self : {false, true}) {
    SCOPED_TRACE(self ? "self on" : "self off");
    ClothRun run(16, 2.0);
    run.scene.world.collision = {0.0, self};  // the default share of the spacing
    run.scene.world.floor = {true, -1.4, 0.6};
    run.start();
    run.at(0, run.scene.grid - 1).pinned = false;
    const auto letGo = [&run](int t) {
      if (t == 90) {
        run.at(0, 0).pinned = false;
      }
    };
    int most = 0;
    const int frames = crossingFrames(run, 220, letGo, most);
    if (!self) {
      EXPECT_GT(frames, 0) << "the heap must fold through itself without contacts";
      continue;
    }
    EXPECT_EQ(frames, 0) << "at most " << most << " pairs at once";
    double lowest = 0.0;
    for (int i = 0; i < run.cloth->particleCount; ++i) {
      lowest = std::min(lowest, run.cloth->particles[static_cast<std::size_t>(i)].position.y);
    }
    const double h = contactThickness(run.scene.world, *run.cloth, false);
    EXPECT_DOUBLE_EQ(h, kDefaultThicknessShare * 2.0 / 15.0);
    EXPECT_GE(lowest, -1.4 + h) << "the floor keeps the thickness";
    EXPECT_LT(lowest, -1.4 + 2.0 * h) << "the cloth must lie on the floor";
  }
}

// Three rest spacings of thickness: pushed apart by all of it, the sheet tangles through itself.
TEST(SelfCollision, LayersKeepAtMostAThirdOfTheRestSpacing) {
  ClothRun run(16, 3.0);
  run.scene.world.collision = {0.6, true};
  run.scene.world.floor = {true, -1.2, 0.6};
  run.start();
  EXPECT_DOUBLE_EQ(layerThickness(*run.cloth, 0.6), 0.2 / 3.0);
  int most = 0;
  EXPECT_EQ(crossingFrames(run, 180, [&run](int t) { pushTogether(run, t); }, most), 0) << most;
  const auto low = [](const Particle& a, const Particle& b) { return a.position.y < b.position.y; };
  const auto& p = run.cloth->particles;
  EXPECT_GT(std::min_element(p.begin(), p.end(), low)->position.y, -0.7) << "the floor's thickness";
}

TEST(SelfCollision, CornerPulledOverALyingClothNeverCrossesIt) {
  for (const bool self : {false, true}) {
    SCOPED_TRACE(self ? "self on" : "self off");
    ClothRun run(14, 2.0);
    run.scene.world.collision = {0.03, self};
    run.scene.world.floor = {true, -0.3, 0.8};
    run.start();
    const int n = run.scene.grid;
    run.at(0, 0).pinned = false;
    run.at(0, n - 1).pinned = false;
    Particle& corner = run.at(n - 1, n - 1);
    const auto pull = [&corner](int t) {
      if (t == 40) {
        corner.pinned = true;
      }
      if (t >= 40 && corner.position.x > 0.3) {  // up, over the cloth, and down into it
        corner.position += Vec3(-0.03, t < 50 ? 0.01 : -0.01, -0.03);
        corner.position.y = std::max(corner.position.y, -0.3 + 0.01);
      }
    };
    int most = 0;
    const int frames = crossingFrames(run, 150, pull, most);
    if (self) {
      EXPECT_EQ(frames, 0) << "at most " << most << " pairs at once";
      EXPECT_LT(corner.position.x, 1.0) << "the corner must have been pulled across";
    } else {
      EXPECT_GT(frames, 0) << "the corner must be pulled through the cloth without contacts";
    }
  }
}

}  // namespace
}  // namespace vellumry
