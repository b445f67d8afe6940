#include "cloth/cloth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace vellumry {
namespace {

constexpr double kDt = 0.05;

/// Every field of the cloth except the normals, as bits; pointers as pool and entry.
std::vector<std::uint64_t> snapshot(const Cloth& c) {
  std::vector<std::uint64_t> out;
  const auto put = [&](double d) { out.push_back(std::bit_cast<std::uint64_t>(d)); };
  const auto putVec = [&](const Vec3& v) {
    put(v.x);
    put(v.y);
    put(v.z);
  };
  const auto putPtr = [&](const void* p) {
    const auto* at = static_cast<const char*>(p);
    const auto entry = [&](const auto& pool) -> std::uint64_t {
      const auto* first = reinterpret_cast<const char*>(pool.data());
      const std::less<const char*> before;
      if (before(at, first) || !before(at, first + pool.size() * sizeof(pool[0]))) {
        return ~0ull;
      }
      return static_cast<std::uint64_t>(at - first) / sizeof(pool[0]);
    };
    if (p == nullptr) {
      out.push_back(~0ull);
      return;
    }
    std::uint64_t pool = 0;
    for (const std::uint64_t e :
         {entry(c.particles), entry(c.gravities), entry(c.drags), entry(c.springs)}) {
      if (e != ~0ull) {
        out.push_back(pool << 32 | e);
        return;
      }
      ++pool;
    }
    out.push_back(~1ull);
  };
  put(c.width);
  out.insert(out.end(),
             {std::uint64_t(c.gridSize), std::uint64_t(c.particleCount),
              std::uint64_t(c.springCount), c.system.particles.size(), c.system.forces.size()});
  for (const Particle* p : c.system.particles) putPtr(p);
  for (const Force* f : c.system.forces) putPtr(f);
  for (int j = 0; j < kMaxParticles; ++j) {
    const Particle& p = c.particles[j];
    putVec(p.force);
    putVec(p.position);
    putVec(p.velocity);
    put(p.mass);
    out.push_back(p.pinned);
    putVec(c.gravities[j].acceleration);
    putPtr(c.gravities[j].particle);
    put(c.drags[j].coefficient);
    putPtr(c.drags[j].particle);
  }
  for (int i = 0; i < kMaxSprings; ++i) {
    const Spring& s = c.springs[i];
    put(s.stiffness);
    put(s.restLength);
    putPtr(s.particleA);
    putPtr(s.particleB);
  }
  return out;
}

void expectSameState(const Cloth& a, const Cloth& b, const char* context) {
  const std::vector<std::uint64_t> x = snapshot(a);
  const std::vector<std::uint64_t> y = snapshot(b);
  ASSERT_EQ(x.size(), y.size()) << context << ": the lists differ in length";
  const auto diff = std::mismatch(x.begin(), x.end(), y.begin());
  EXPECT_TRUE(diff.first == x.end())
      << context << ": first difference at snapshot word " << (diff.first - x.begin());
}

/// Moves the cloth through some history that a reset must erase.
void disturb(Cloth& cloth) {
  for (int t = 0; t < 60; ++t) {
    cloth.step(kDt);
    cloth.particleAt(0, 0).position += Vec3(-0.02, 0.01, 0.01);
  }
  cloth.particles[kMaxParticles - 1].mass = 5.0;  // unused entries are reset too
  cloth.springs[kMaxSprings - 1].stiffness = 1.0;
}

int indexOf(const Cloth& c, const Particle* p) { return static_cast<int>(p - c.particles.data()); }

TEST(ClothTest, BuildCountsLayoutAndMounts) {
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  c.build(3.0, 15);
  EXPECT_EQ(c.particleCount, 225);
  EXPECT_EQ(c.springCount, 812);
  EXPECT_EQ(c.system.particles.size(), 225u);
  EXPECT_EQ(c.system.forces.size(), 1262u);
  const double s = 3.0 / 14;
  for (int j = 0; j < 225; ++j) {
    const Particle& p = c.particles[j];
    ASSERT_TRUE(p.position.x == (j % 15) * s && p.position.y == 0.0 && p.position.z == (j / 15) * s)
        << "particle " << j << ": columns along x, rows along z, flat in y = 0";
    ASSERT_EQ(p.mass, 70.0 / 225) << "particle " << j;
    ASSERT_EQ(p.pinned, j == 0 || j == 15 * 14) << "only (0, 0) and (0, 14) are pinned: " << j;
  }
  EXPECT_TRUE(c.particleAt(14, 14).position.x == 3.0 && c.particleAt(14, 14).position.z == 3.0);

  c.build(3.0, 20);
  EXPECT_EQ(c.particleCount, 400);
  EXPECT_EQ(c.springCount, 1482);
  EXPECT_TRUE(c.particles[0].pinned && c.particles[380].pinned && !c.particles[19].pinned);
  for (int n = 2; n <= kMaxGridSize; ++n) {
    c.build(3.0, n);
    const int springs = 2 * n * (n - 1) + 2 * (n - 1) * (n - 1);  // structural + shear
    EXPECT_EQ(c.springCount, springs) << "n = " << n;
    EXPECT_EQ(c.system.forces.size(), std::size_t(2 * n * n + springs)) << "n = " << n;
  }
}

TEST(ClothTest, ForceListAndSpringCreationOrder) {
  constexpr int n = 15;
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  c.build(3.0, n);
  for (int j = 0; j < n * n; ++j) {
    ASSERT_EQ(c.system.particles[j], &c.particles[j]) << "particles listed in index order";
    ASSERT_EQ(c.system.forces[2 * j], &c.gravities[j]) << "gravity " << j << " first";
    ASSERT_EQ(c.system.forces[2 * j + 1], &c.drags[j]) << "then drag " << j;
    ASSERT_EQ(c.gravities[j].particle, &c.particles[j]);
    ASSERT_EQ(c.drags[j].particle, &c.particles[j]);
  }
  EXPECT_EQ(c.gravities[7].acceleration.y, -1.0);
  EXPECT_EQ(c.drags[7].coefficient, 18.0 / 225);

  const double s = 3.0 / 14;
  const auto expectSpring = [&](int i, int a, int b, double stiffness, double rest) {
    EXPECT_TRUE(indexOf(c, c.springs[i].particleA) == a && indexOf(c, c.springs[i].particleB) == b)
        << "spring " << i << " should join " << a << " and " << b;
    EXPECT_EQ(c.springs[i].stiffness, stiffness) << "spring " << i;
    EXPECT_EQ(c.springs[i].restLength, rest) << "spring " << i;
  };
  expectSpring(0, 0, n, 100.0, s);                      // (0, 0)-(0, 1)
  expectSpring(2, 0, n + 1, 10.0, s * std::sqrt(2.0));  // first shear: (0, 0)-(1, 1)
  expectSpring(811, n * n - 2, n * n - 1, 100.0, s);    // (n-2, n-1)-(n-1, n-1)

  // Vertex by vertex in index order; at each: next row, next column, then the two shears.
  int lastA = -1;
  int lastKind = -1;
  for (int i = 0; i < c.springCount; ++i) {
    ASSERT_EQ(c.system.forces[2 * n * n + i], &c.springs[i]) << "springs follow in pool order";
    const int a = indexOf(c, c.springs[i].particleA);
    const int b = indexOf(c, c.springs[i].particleB);
    const int kind = b - a == n ? 0 : b - a == 1 ? 1 : b - a == n + 1 ? 2 : b - a == n - 1 ? 3 : -1;
    ASSERT_TRUE(kind >= 0 && std::abs(b % n - a % n) <= 1)
        << "spring " << i << " joins " << a << " to a non-neighbour " << b;
    ASSERT_TRUE(a > lastA || (a == lastA && kind > lastKind)) << "spring " << i << " out of order";
    ASSERT_EQ(c.springs[i].stiffness, kind < 2 ? 100.0 : 10.0) << "spring " << i;
    lastA = a;
    lastKind = kind;
  }
}

TEST(ClothTest, ParticleAtClampsEachCoordinate) {
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  EXPECT_EQ(&c.particleAt(-1, -1), &c.particles[0]) << "an empty cloth resolves to entry 0";
  EXPECT_EQ(&c.particleAt(5, 7), &c.particles[0]) << "an empty cloth resolves to entry 0";
  c.build(3.0, 15);
  EXPECT_EQ(&c.particleAt(3, 2), &c.particles[3 + 15 * 2]);
  EXPECT_EQ(&c.particleAt(-3, 7), &c.particleAt(0, 7));
  EXPECT_EQ(&c.particleAt(20, -1), &c.particleAt(14, 0));
  EXPECT_EQ(&c.particleAt(15, 15), &c.particles[224]);
  c.normals[3 + 15 * 2] = Vec3(1, 2, 3);
  EXPECT_EQ(c.normalAt(3, 2).y, 2.0) << "normalAt(column, row) is entry column + n * row";
}

TEST(ClothTest, PinnedMountsStayWhereMovedAndCarryTheCloth) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 15);
  Particle& mount = cloth->particleAt(0, 0);
  mount.position += Vec3(-0.5, 0.25, 0);
  for (int t = 0; t < 400; ++t) {
    cloth->step(kDt);
  }
  EXPECT_TRUE(mount.position.x == -0.5 && mount.position.y == 0.25 && mount.position.z == 0.0);
  EXPECT_EQ(cloth->particleAt(0, 14).position.z, 3.0) << "the other mount never moves";
  EXPECT_EQ(mount.velocity.y, 0.0);
  EXPECT_LT(mount.force.y, 0.0) << "a mount still accumulates: it carries the cloth";
  EXPECT_LT(cloth->particleAt(14, 7).position.y, -1.0) << "the free edge has fallen";
  for (const Particle* p : cloth->system.particles) {
    ASSERT_TRUE(std::isfinite(p->position.y) && std::isfinite(p->velocity.y)) << "stays finite";
  }
}

TEST(ClothTest, ResetAndRebuildForgetEverything) {
  const auto empty = std::make_unique<Cloth>();
  const auto fresh = std::make_unique<Cloth>();
  fresh->build(3.0, 15);
  const auto c = std::make_unique<Cloth>();

  c->build(3.0, 20);
  disturb(*c);
  c->computeNormals();
  const Vec3 normal = c->normals[17];
  c->reset();
  expectSameState(*c, *empty, "reset equals a new cloth");
  EXPECT_EQ(c->normals[17].y, normal.y) << "reset leaves the normals alone";

  c->build(3.0, 15);
  disturb(*c);
  c->build(3.0, 15);
  expectSameState(*c, *fresh, "15 rebuilt over a moved 15");
  c->build(2.5, 20);
  disturb(*c);
  c->build(3.0, 15);
  expectSameState(*c, *fresh, "15 rebuilt over a moved 20");
  for (int t = 0; t < 100; ++t) {
    c->step(kDt);
    fresh->step(kDt);
  }
  expectSameState(*c, *fresh, "100 steps after the rebuild");

  for (const int n : {1, 0, -3, kMaxGridSize + 1}) {
    c->build(3.0, n);
    expectSameState(*c, *empty, "a size without spacing or beyond the pools leaves it empty");
    c->step(kDt);
  }
}

}  // namespace
}  // namespace vellumry
