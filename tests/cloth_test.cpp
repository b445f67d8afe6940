#include "cloth/cloth.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace vellumry {
namespace {

constexpr double kDt = 0.05;

bool sameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool sameBits(const Vec3& a, const Vec3& b) {
  return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

bool isDefault(const Particle& p) {
  const Particle d;
  return sameBits(p.force, d.force) && sameBits(p.position, d.position) &&
         sameBits(p.velocity, d.velocity) && sameBits(p.mass, d.mass) && p.pinned == d.pinned;
}

bool isDefault(const Spring& s) {
  return s.stiffness == 0.0 && s.restLength == 0.0 && s.particleA == nullptr &&
         s.particleB == nullptr;
}

/// Pool index of a particle of this cloth, or -1 when the pointer is not into its pool.
int indexOf(const Cloth& cloth, const Particle* p) {
  if (p < cloth.particles || p >= cloth.particles + kMaxParticles) {
    return -1;
  }
  return static_cast<int>(p - cloth.particles);
}

/// Checks every pool entry, counter and list of an empty cloth.
void expectEmpty(const Cloth& cloth, const char* context) {
  SCOPED_TRACE(context);
  EXPECT_EQ(cloth.width, 0.0);
  EXPECT_EQ(cloth.gridSize, 0);
  EXPECT_EQ(cloth.particleCount, 0);
  EXPECT_EQ(cloth.springCount, 0);
  EXPECT_TRUE(cloth.system.particles.empty());
  EXPECT_TRUE(cloth.system.forces.empty());
  int dirty = 0;
  for (int j = 0; j < kMaxParticles; ++j) {
    const bool gravityDefault =
        sameBits(cloth.gravities[j].acceleration, Vec3()) && cloth.gravities[j].particle == nullptr;
    const bool dragDefault =
        cloth.drags[j].coefficient == 0.0 && cloth.drags[j].particle == nullptr;
    if (!isDefault(cloth.particles[j]) || !gravityDefault || !dragDefault) {
      ADD_FAILURE() << "pool entry " << j << " is not back to its defaults";
      if (++dirty == 5) return;
    }
  }
  for (int i = 0; i < kMaxSprings; ++i) {
    if (!isDefault(cloth.springs[i])) {
      ADD_FAILURE() << "spring " << i << " is not back to its defaults";
      if (++dirty == 5) return;
    }
  }
}

/// Moves the cloth through some history that a rebuild must erase.
void disturb(Cloth& cloth) {
  for (int t = 0; t < 60; ++t) {
    cloth.step(kDt);
    cloth.particleAt(0, 0).position += Vec3(-0.02, 0.01, 0.01);
    cloth.particleAt(0, cloth.gridSize - 1).position += Vec3(0.01, 0, -0.02);
  }
  // Unused entries that a reset must clear too.
  cloth.particles[kMaxParticles - 1].mass = 5.0;
  cloth.springs[kMaxSprings - 1].stiffness = 1.0;
}

/// Same counts, same lists (as pool indices) and the same bits in every pool entry.
void expectSameCloth(const Cloth& a, const Cloth& b) {
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.gridSize, b.gridSize);
  EXPECT_EQ(a.particleCount, b.particleCount);
  EXPECT_EQ(a.springCount, b.springCount);
  ASSERT_EQ(a.system.particles.size(), b.system.particles.size());
  ASSERT_EQ(a.system.forces.size(), b.system.forces.size());
  for (std::size_t j = 0; j < a.system.particles.size(); ++j) {
    ASSERT_EQ(indexOf(a, a.system.particles[j]), indexOf(b, b.system.particles[j])) << j;
  }
  const auto forceOffset = [](const Cloth& c, const Force* f) {
    return reinterpret_cast<const char*>(f) - reinterpret_cast<const char*>(&c);
  };
  for (std::size_t j = 0; j < a.system.forces.size(); ++j) {
    ASSERT_EQ(forceOffset(a, a.system.forces[j]), forceOffset(b, b.system.forces[j])) << j;
  }
  for (int j = 0; j < kMaxParticles; ++j) {
    const Particle& p = a.particles[j];
    const Particle& q = b.particles[j];
    ASSERT_TRUE(sameBits(p.position, q.position) && sameBits(p.velocity, q.velocity) &&
                sameBits(p.force, q.force) && sameBits(p.mass, q.mass) && p.pinned == q.pinned)
        << "particle " << j << " differs";
    ASSERT_TRUE(sameBits(a.gravities[j].acceleration, b.gravities[j].acceleration) &&
                indexOf(a, a.gravities[j].particle) == indexOf(b, b.gravities[j].particle))
        << "gravity " << j << " differs";
    ASSERT_TRUE(sameBits(a.drags[j].coefficient, b.drags[j].coefficient) &&
                indexOf(a, a.drags[j].particle) == indexOf(b, b.drags[j].particle))
        << "drag " << j << " differs";
  }
  for (int i = 0; i < kMaxSprings; ++i) {
    const Spring& s = a.springs[i];
    const Spring& t = b.springs[i];
    ASSERT_TRUE(sameBits(s.stiffness, t.stiffness) && sameBits(s.restLength, t.restLength) &&
                indexOf(a, s.particleA) == indexOf(b, t.particleA) &&
                indexOf(a, s.particleB) == indexOf(b, t.particleB))
        << "spring " << i << " differs";
  }
}

TEST(ClothTest, ConstructedEmpty) {
  const auto cloth = std::make_unique<Cloth>();
  expectEmpty(*cloth, "after construction");
  for (int j = 0; j < kMaxParticles; ++j) {
    ASSERT_TRUE(sameBits(cloth->normals[j], Vec3())) << "normal " << j;
  }
  cloth->step(kDt);  // nothing listed, nothing happens
  expectEmpty(*cloth, "after stepping an empty cloth");
}

TEST(ClothTest, BuildCountsAndLayout) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 15);
  EXPECT_EQ(cloth->width, 3.0);
  EXPECT_EQ(cloth->gridSize, 15);
  EXPECT_EQ(cloth->particleCount, 225);
  EXPECT_EQ(cloth->springCount, 812);
  EXPECT_EQ(cloth->system.particles.size(), 225u);
  EXPECT_EQ(cloth->system.forces.size(), 1262u);

  const double s = 3.0 / 14;
  for (int j = 0; j < 225; ++j) {
    const int column = j % 15;
    const int row = j / 15;
    const Particle& p = cloth->particles[j];
    ASSERT_EQ(p.position.x, column * s) << "columns run along x, particle " << j;
    ASSERT_EQ(p.position.y, 0.0) << "flat in y = 0, particle " << j;
    ASSERT_EQ(p.position.z, row * s) << "rows run along z, particle " << j;
    ASSERT_TRUE(sameBits(p.velocity, Vec3()) && sameBits(p.force, Vec3())) << j;
    ASSERT_EQ(p.mass, 70.0 / 225) << "the cloth weighs 70, particle " << j;
    ASSERT_EQ(&cloth->particleAt(column, row), &p) << "(column, row) is column + n * row";
  }
  const Vec3 far = cloth->particleAt(14, 14).position;
  EXPECT_EQ(far.x, 3.0);
  EXPECT_EQ(far.z, 3.0);
  for (int j = 225; j < kMaxParticles; ++j) {
    ASSERT_TRUE(isDefault(cloth->particles[j])) << "unused pool entry " << j << " is touched";
  }

  cloth->build(1.9, 20);
  EXPECT_EQ(cloth->particleCount, 400);
  EXPECT_EQ(cloth->springCount, 1482);
  EXPECT_EQ(cloth->system.particles.size(), 400u);
  EXPECT_EQ(cloth->system.forces.size(), 800u + 1482u);
  EXPECT_EQ(cloth->particles[0].mass, 70.0 / 400);
  EXPECT_EQ(cloth->drags[399].coefficient, 18.0 / 400);

  for (int n = 2; n <= kMaxGridSize; ++n) {
    cloth->build(3.0, n);
    const int springs = 2 * n * (n - 1) + 2 * (n - 1) * (n - 1);  // structural + shear
    EXPECT_EQ(cloth->particleCount, n * n) << "n = " << n;
    EXPECT_EQ(cloth->springCount, springs) << "n = " << n;
    EXPECT_EQ(cloth->system.forces.size(), static_cast<std::size_t>(2 * n * n + springs))
        << "n = " << n;
  }
}

TEST(ClothTest, ForceListOrder) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 15);
  const auto& forces = cloth->system.forces;
  ASSERT_EQ(forces.size(), 1262u);
  for (int j = 0; j < 225; ++j) {
    ASSERT_EQ(cloth->system.particles[j], &cloth->particles[j]) << "particles in index order";
    ASSERT_EQ(forces[2 * j], &cloth->gravities[j]) << "force " << 2 * j << " is gravity " << j;
    ASSERT_EQ(forces[2 * j + 1], &cloth->drags[j]) << "force " << 2 * j + 1 << " is drag " << j;
    ASSERT_EQ(cloth->gravities[j].particle, &cloth->particles[j]);
    ASSERT_TRUE(sameBits(cloth->gravities[j].acceleration, Vec3(0, -1.0, 0))) << j;
    ASSERT_EQ(cloth->drags[j].particle, &cloth->particles[j]);
    ASSERT_EQ(cloth->drags[j].coefficient, 18.0 / 225) << j;
  }
  for (int i = 0; i < 812; ++i) {
    ASSERT_EQ(forces[450 + i], &cloth->springs[i]) << "springs follow in creation order, " << i;
  }
}

TEST(ClothTest, SpringCreationOrder) {
  constexpr int n = 15;
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, n);
  const double s = 3.0 / 14;
  const double diagonal = s * std::sqrt(2.0);
  Cloth& c = *cloth;
  const auto expectSpring = [&](int i, int ka, int ia, int kb, int ib, double stiffness,
                                double rest) {
    const Spring& spring = c.springs[i];
    EXPECT_EQ(spring.particleA, &c.particleAt(ka, ia)) << "spring " << i << " end A";
    EXPECT_EQ(spring.particleB, &c.particleAt(kb, ib)) << "spring " << i << " end B";
    EXPECT_EQ(spring.stiffness, stiffness) << "spring " << i;
    EXPECT_EQ(spring.restLength, rest) << "spring " << i;
  };
  expectSpring(0, 0, 0, 0, 1, 100.0, s);  // along the column first
  expectSpring(1, 0, 0, 1, 0, 100.0, s);  // then along the row
  expectSpring(2, 0, 0, 1, 1, 10.0, diagonal);
  expectSpring(3, 1, 0, 1, 1, 100.0, s);
  expectSpring(4, 1, 0, 2, 0, 100.0, s);
  expectSpring(5, 1, 0, 2, 1, 10.0, diagonal);
  expectSpring(6, 1, 0, 0, 1, 10.0, diagonal);
  expectSpring(811, n - 2, n - 1, n - 1, n - 1, 100.0, s);  // the last row: only along it

  // Springs come vertex by vertex in index order; at each vertex: down, right, the two shears.
  int previousA = -1;
  int previousKind = -1;
  int structural = 0;
  int shear = 0;
  for (int i = 0; i < c.springCount; ++i) {
    const int a = indexOf(c, c.springs[i].particleA);
    const int b = indexOf(c, c.springs[i].particleB);
    ASSERT_GE(a, 0) << "spring " << i;
    ASSERT_GE(b, 0) << "spring " << i;
    const int delta = b - a;
    const int kind = delta == n ? 0 : delta == 1 ? 1 : delta == n + 1 ? 2 : delta == n - 1 ? 3 : -1;
    ASSERT_NE(kind, -1) << "spring " << i << " joins non-neighbours " << a << " and " << b;
    ASSERT_LE(std::abs(b % n - a % n), 1) << "spring " << i << " wraps around a row end";
    ASSERT_TRUE(a > previousA || (a == previousA && kind > previousKind))
        << "spring " << i << " is out of creation order";
    ASSERT_EQ(c.springs[i].stiffness, kind < 2 ? 100.0 : 10.0) << "spring " << i;
    (kind < 2 ? structural : shear) += 1;
    previousA = a;
    previousKind = kind;
  }
  EXPECT_EQ(structural, 2 * n * (n - 1));
  EXPECT_EQ(shear, 2 * (n - 1) * (n - 1));
  for (int i = c.springCount; i < kMaxSprings; ++i) {
    ASSERT_TRUE(isDefault(c.springs[i])) << "unused spring " << i;
  }
}

TEST(ClothTest, ParticleAtClampsEachCoordinate) {
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  EXPECT_EQ(&c.particleAt(0, 0), &c.particles[0]) << "empty cloth resolves to entry 0";
  EXPECT_EQ(&c.particleAt(-1, -1), &c.particles[0]) << "empty cloth resolves to entry 0";
  EXPECT_EQ(&c.particleAt(5, 7), &c.particles[0]) << "empty cloth resolves to entry 0";

  constexpr int n = 15;
  c.build(3.0, n);
  EXPECT_EQ(&c.particleAt(-3, 7), &c.particleAt(0, 7));
  EXPECT_EQ(&c.particleAt(n + 5, -1), &c.particleAt(n - 1, 0));
  EXPECT_EQ(&c.particleAt(n - 1, 0), &c.particles[n - 1]);
  EXPECT_EQ(&c.particleAt(4, n), &c.particles[4 + n * (n - 1)]);
  EXPECT_EQ(&c.particleAt(n, n), &c.particles[n * n - 1]);
  EXPECT_EQ(&c.particleAt(-1, -1), &c.particles[0]);
  EXPECT_EQ(&c.particleAt(3, 2), &c.particles[3 + n * 2]);

  c.normals[3 + n * 2] = Vec3(1, 2, 3);
  EXPECT_TRUE(sameBits(c.normalAt(3, 2), Vec3(1, 2, 3))) << "normalAt(column, row)";
}

TEST(ClothTest, ExactlyTheTwoMountsArePinned) {
  const auto cloth = std::make_unique<Cloth>();
  for (const int n : {2, 15, 20}) {
    cloth->build(3.0, n);
    for (int j = 0; j < n * n; ++j) {
      const bool mount = j == 0 || j == n * (n - 1);
      EXPECT_EQ(cloth->particles[j].pinned, mount) << "n = " << n << ", particle " << j;
    }
  }
}

TEST(ClothTest, MountsStayWhereTheyAreMovedWhileTheClothFalls) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 15);
  Particle& first = cloth->particleAt(0, 0);
  Particle& second = cloth->particleAt(0, 14);
  first.position += Vec3(-0.5, 0.25, 0);
  for (int t = 0; t < 400; ++t) {
    cloth->step(kDt);
  }
  EXPECT_TRUE(sameBits(first.position, Vec3(-0.5, 0.25, 0))) << "a pinned mount never moves";
  EXPECT_TRUE(sameBits(second.position, Vec3(0, 0, 3.0))) << "a pinned mount never moves";
  EXPECT_TRUE(sameBits(first.velocity, Vec3()) && sameBits(second.velocity, Vec3()));
  EXPECT_LT(first.force.y, 0.0) << "the mount still accumulates: it carries the cloth";

  const Particle& far = cloth->particleAt(14, 7);
  EXPECT_LT(far.position.y, -1.0) << "the free edge has fallen";
  for (int j = 0; j < 225; ++j) {
    const Particle& p = cloth->particles[j];
    ASSERT_TRUE(std::isfinite(p.position.x) && std::isfinite(p.position.y) &&
                std::isfinite(p.position.z) && std::isfinite(p.velocity.y))
        << "particle " << j << " went non-finite";
  }
}

TEST(ClothTest, ResetReturnsEveryPoolEntryToDefaults) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 20);
  disturb(*cloth);
  cloth->computeNormals();
  const Vec3 normal = cloth->normals[17];
  cloth->reset();
  expectEmpty(*cloth, "after reset");
  EXPECT_TRUE(sameBits(cloth->normals[17], normal)) << "reset leaves the normals alone";
  EXPECT_GE(cloth->system.forces.capacity(), 2282u) << "reset keeps the list storage";
}

TEST(ClothTest, RebuildEqualsFreshBuild) {
  const auto fresh = std::make_unique<Cloth>();
  fresh->build(3.0, 15);

  const auto rebuilt = std::make_unique<Cloth>();
  rebuilt->build(3.0, 15);
  disturb(*rebuilt);
  rebuilt->build(3.0, 15);
  {
    SCOPED_TRACE("15 after a moved 15");
    expectSameCloth(*rebuilt, *fresh);
  }

  rebuilt->build(2.5, 20);
  disturb(*rebuilt);
  rebuilt->build(3.0, 15);
  {
    SCOPED_TRACE("15 after a moved 20");
    expectSameCloth(*rebuilt, *fresh);
  }

  for (int t = 0; t < 100; ++t) {
    fresh->step(kDt);
    rebuilt->step(kDt);
  }
  SCOPED_TRACE("100 steps later");
  expectSameCloth(*rebuilt, *fresh);
}

TEST(ClothTest, SizesWithoutSpacingOrBeyondThePoolsLeaveTheClothEmpty) {
  const auto cloth = std::make_unique<Cloth>();
  for (const int n : {1, 0, -3, kMaxGridSize + 1, 100}) {
    cloth->build(3.0, 15);
    cloth->build(3.0, n);
    expectEmpty(*cloth, n == 1 ? "n = 1" : n <= 0 ? "n <= 0" : "n > 20");
    cloth->step(kDt);
    cloth->computeNormals();
  }

  cloth->build(1.0, 2);
  EXPECT_EQ(cloth->particleCount, 4);
  EXPECT_EQ(cloth->springCount, 6);
  EXPECT_EQ(cloth->particleAt(1, 1).position.x, 1.0);
  EXPECT_EQ(cloth->particleAt(1, 1).position.z, 1.0);
}

}  // namespace
}  // namespace vellumry
