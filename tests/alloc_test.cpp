// Counts every heap allocation of this test binary, to show that the cloth allocates only while
// its pointer lists first grow.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>

#include "cloth/cloth.h"
#include "world/collide_step.h"
#include "world/world_step.h"

namespace {

long long allocations = 0;

void* countedAlloc(std::size_t size) {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}

void* countedAlignedAlloc(std::size_t size, std::align_val_t alignment) {
  ++allocations;
  const auto align = static_cast<std::size_t>(alignment);
  void* p = nullptr;
  if (posix_memalign(&p, align < sizeof(void*) ? sizeof(void*) : align, size == 0 ? 1 : size) !=
      0) {
    return nullptr;
  }
  return p;
}

void* orThrow(void* p) {
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return orThrow(countedAlloc(size)); }
void* operator new[](std::size_t size) { return orThrow(countedAlloc(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return countedAlloc(size);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return orThrow(countedAlignedAlloc(size, a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return orThrow(countedAlignedAlloc(size, a));
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return countedAlignedAlloc(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return countedAlignedAlloc(size, a);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

namespace vellumry {
namespace {

TEST(ClothAllocationTest, OnlyTheFirstBuildAllocates) {
  const auto cloth = std::make_unique<Cloth>();

  long long before = allocations;
  cloth->build(3.0, 15);
  EXPECT_GT(allocations - before, 0) << "the first build grows the lists: the counter must see it";

  before = allocations;
  for (int t = 0; t < 200; ++t) {
    cloth->step(0.05);
    cloth->particleAt(0, 0).position += Vec3(0.001, 0, 0);
  }
  EXPECT_EQ(allocations - before, 0) << "step";

  before = allocations;
  cloth->computeNormals();
  EXPECT_EQ(allocations - before, 0) << "computeNormals";

  before = allocations;
  cloth->build(3.0, 15);
  EXPECT_EQ(allocations - before, 0) << "a rebuild of the same size";

  before = allocations;
  cloth->reset();
  EXPECT_EQ(allocations - before, 0) << "reset";

  before = allocations;
  cloth->build(3.0, 15);
  cloth->step(0.05);
  cloth->build(3.0, 8);
  cloth->step(0.05);
  cloth->computeNormals();
  EXPECT_EQ(allocations - before, 0) << "build after reset, and a smaller rebuild";
}

// A large cloth split over four threads: once built, neither its steps nor a change of material
// (bend springs on, then off) allocate.
TEST(ClothAllocationTest, ALargeClothOnThreadsAllocatesOnlyWhenBuilt) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->setThreads(4, 1);
  long long before = allocations;
  cloth->build(3.0, 128);
  EXPECT_GT(allocations - before, 0) << "the first build of a larger grid grows the pools";

  ClothMaterial bent;
  bent.bend = 2.0;
  before = allocations;
  for (int t = 0; t < 30; ++t) {
    if (t == 10 || t == 20) {
      cloth->setMaterial(t == 10 ? bent : ClothMaterial());
    }
    cloth->advance(0.05 / 8, 16);
    cloth->particleAt(0, 0).position += Vec3(0.001, 0, 0);
  }
  cloth->computeNormals();
  EXPECT_EQ(allocations - before, 0) << "advance, setMaterial and computeNormals";
  EXPECT_EQ(cloth->threads, 4);
}

// The world's step with everything on, tears, a burst of cuts and a drop that mends them.
TEST(ClothAllocationTest, TheWorldAndBreakingSpringsAllocateNothing) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->setThreads(2, 1);
  cloth->build(3.0, 32);
  World world;
  world.wind = Wind{Vec3(6.0, 0.0, 9.0), 0.5, 4};
  world.ball.enabled = true;
  world.floor.enabled = true;
  const long long before = allocations;
  for (int t = 0; t < 40; ++t) {
    for (int s = 0; s < 60 && t == 20; ++s) {
      cloth->breakSpring(7 * s);
    }
    advanceInWorld(*cloth, world, 1.3, 0.01, 4, 2);
    cloth->particleAt(0, 0).position += Vec3(0.05, 0.0, 0.0);
  }
  EXPECT_GT(cloth->brokenCount, 60);
  cloth->build(3.0, 32);
  EXPECT_EQ(allocations - before, 0) << "the world's steps, tearing, breakSpring and a drop";
}

// Contacts with everything on: self-collision, the ball, the floor and a solid, over a torn
// cloth falling in folds. Only prepare and setSolid allocate.
TEST(ClothAllocationTest, ContactsAllocateNothingOncePrepared) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 24);
  World world;
  world.collision = {0.02, true};
  world.ball.enabled = true;
  world.floor = {true, -1.5, 0.5};
  SolidMesh solid;
  solid.points = {Vec3(0.5, -1.5, 0.5), Vec3(2.5, -1.5, 0.5), Vec3(1.5, -0.5, 1.5),
                  Vec3(1.5, -1.5, 2.5)};
  solid.triangles = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
  Collider collider;
  collider.setSolid(&solid, MeshPlacement{Vec3(), 1.0, 0.5});
  collider.prepare(*cloth);
  cloth->particleAt(0, 23).pinned = false;
  const long long before = allocations;
  for (int t = 0; t < 60; ++t) {
    if (t == 30) {
      cloth->breakSpring(100);
    }
    advanceColliding(*cloth, world, collider, 0.0, 0.05, 2, 2);
    cloth->particleAt(0, 0).position += Vec3(0.02, 0.0, 0.0);
  }
  EXPECT_GT(collider.report().sweeps, 1);
  cloth->build(3.0, 24);
  collider.prepare(*cloth);
  advanceColliding(*cloth, world, collider, 0.0, 0.05, 2, 2);
  EXPECT_EQ(allocations - before, 0) << "contacts, a tear and a drop of the same size";
}

}  // namespace
}  // namespace vellumry
