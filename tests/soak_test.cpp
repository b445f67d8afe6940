#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "cloth/cloth.h"

namespace vellumry {
namespace {

bool finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

double length(const Vec3& v) { return std::sqrt(v.lengthSquared()); }

// The untouched viewer cloth, stepped for a million steps (about two and a half hours of frames):
// it stays finite throughout and settles hanging below its mounts, the forces in balance.
TEST(SoakTest, UntouchedClothComesToRestBelowItsMounts) {
  constexpr int kSteps = 1000000;
  constexpr int kCheckEvery = 10000;
  constexpr double kRestSpeed = 1e-9;  // fastest particle at the end, units per time unit
  constexpr double kRestForce = 1e-9;  // largest net force on a free particle at the end
  auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 15);

  for (int s = 1; s <= kSteps; ++s) {
    cloth->step(0.05);
    if (s % kCheckEvery != 0) {
      continue;
    }
    for (int j = 0; j < cloth->particleCount; ++j) {
      const Particle& p = cloth->particles[j];
      ASSERT_TRUE(finite(p.position) && finite(p.velocity))
          << "particle " << j << " went non-finite by step " << s;
    }
  }

  EXPECT_EQ(cloth->particleAt(0, 0).position.lengthSquared(), 0.0) << "mount (0, 0) moved";
  EXPECT_EQ(cloth->particleAt(0, 14).position.z, 3.0) << "mount (0, 14) moved";
  double fastest = 0.0;
  double largestForce = 0.0;
  double lowest = 0.0;
  for (int j = 0; j < cloth->particleCount; ++j) {
    const Particle& p = cloth->particles[j];
    fastest = std::fmax(fastest, length(p.velocity));
    lowest = std::fmin(lowest, p.position.y);
    if (p.pinned) {
      continue;
    }
    largestForce = std::fmax(largestForce, length(p.force));
    EXPECT_LT(p.position.y, 0.0) << "free particle " << j << " is not below the mounts";
    EXPECT_LT(std::fabs(p.position.x), 1e-6) << "particle " << j << " does not hang in x = 0";
  }
  EXPECT_LT(fastest, kRestSpeed) << "not at rest";
  EXPECT_LT(largestForce, kRestForce) << "forces not in balance";
  // The cloth is 3 long and its springs stretch under its weight: it hangs a little further.
  EXPECT_LT(lowest, -3.0);
  EXPECT_GT(lowest, -5.0);
  // Hanging from (0, 0, 0) and (0, 0, 3), it is mirror-symmetric about z = 1.5.
  const double farCorner = cloth->particleAt(14, 0).position.y;
  EXPECT_NEAR(cloth->particleAt(14, 14).position.y, farCorner, 1e-9);
  EXPECT_NEAR(cloth->particleAt(14, 0).position.z + cloth->particleAt(14, 14).position.z, 3.0,
              1e-9);
}

}  // namespace
}  // namespace vellumry
