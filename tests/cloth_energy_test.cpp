#include "cloth/cloth_energy.h"

#include <gtest/gtest.h>

namespace vellumry {
namespace {

void moveAll(Cloth& c, double scale, const Vec3& by) {
  for (int j = 0; j < c.particleCount; ++j) {
    Vec3& p = c.particles[j].position;
    p = scale * p;
    p += by;
  }
}

TEST(ClothEnergyTest, KnownCases) {
  struct Case {
    const char* what;
    void (*change)(Cloth&);
    ClothEnergy expected;
  };
  const Case cases[] = {
      {"as built", [](Cloth&) {}, {0.0, 0.0, 0.0, 0.0}},
      // Two springs of rest length 1 pulled to 1.5: 2 x 100 x 0.5^2 / 2.
      {"column 1 pulled out by 0.5",
       [](Cloth& c) {
         c.particleAt(1, 0).position.x += 0.5;
         c.particleAt(1, 1).position.x += 0.5;
       },
       {0.0, 0.0, 25.0, 0.5}},
      {"one particle moving at 2",
       [](Cloth& c) { c.particleAt(0, 1).velocity = Vec3(0, 0, 2); },
       {35.0, 0.0, 0.0, 0.0}},
      {"raised by 2", [](Cloth& c) { moveAll(c, 1.0, Vec3(0, 2, 0)); }, {0.0, 140.0, 0.0, 0.0}},
      // Every spring short: the largest stretch is the least compression, not zero.
      {"shrunk to half", [](Cloth& c) { moveAll(c, 0.5, Vec3()); }, {0.0, 0.0, 50.0, -0.5}},
  };
  // A 2 by 2 cloth of side 1 (particles of mass 17.5) whose diagonal springs store no energy.
  ClothMaterial noShear;
  noShear.shear = 0.0;
  for (const Case& k : cases) {
    Cloth c;
    c.build(1.0, 2, noShear);
    k.change(c);
    const ClothEnergy e = clothEnergy(c);
    EXPECT_EQ(e.kinetic, k.expected.kinetic) << k.what;
    EXPECT_EQ(e.gravity, k.expected.gravity) << k.what;
    EXPECT_EQ(e.springs, k.expected.springs) << k.what;
    // The diagonals' (sqrt(0.5) - sqrt(2)) / sqrt(2) may round either side of -0.5.
    EXPECT_NEAR(e.maxStretch, k.expected.maxStretch, 1e-15) << k.what;
  }
  Cloth empty;
  const ClothEnergy none = clothEnergy(empty);
  EXPECT_EQ(none.kinetic + none.gravity + none.springs + none.maxStretch, 0.0);
}

}  // namespace
}  // namespace vellumry
