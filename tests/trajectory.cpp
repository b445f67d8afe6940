// Prints a scripted run of the 15 by 15 cloth as hexadecimal floats, bit for bit, then one of a
// 64 by 64 cloth with bend springs split over two threads. Built at several optimisation levels
// (and by the CI with a second compiler); the outputs must be identical byte for byte.

#include <cmath>
#include <cstdio>
#include <iterator>

#include "cloth/cloth.h"

namespace {

using vellumry::Cloth;
using vellumry::Vec3;

constexpr double kTimeStep = 0.05;
constexpr int kStepsPerFrame = 2;
constexpr int kFrames = 200;

/// One phase of the script: from this frame on, each mount moves by its velocity per frame.
struct Phase {
  int firstFrame;
  Vec3 firstMount;
  Vec3 secondMount;
};

constexpr Phase kScript[] = {
    {0, Vec3(), Vec3()},                                      // drop
    {40, Vec3(-0.02, 0, 0.01), Vec3(-0.02, 0, 0.01)},         // flap
    {80, Vec3(0, 0, -0.01), Vec3(0, 0, 0.01)},                // mounts apart
    {120, Vec3(0.003, 0.005, 0.008), Vec3(0.01, 0, -0.013)},  // together, unevenly
    {160, Vec3(), Vec3()},                                    // let it swing
};

bool finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

void print(const char* name, const Vec3& v) { std::printf(" %s %a %a %a", name, v.x, v.y, v.z); }

/// Prints every particle and normal; false if any value is not finite.
bool dump(Cloth& cloth, int frame) {
  cloth.computeNormals();
  bool ok = true;
  std::printf("frame %d\n", frame);
  for (int j = 0; j < cloth.particleCount; ++j) {
    const vellumry::Particle& p = cloth.particles[j];
    std::printf("%d", j);
    print("p", p.position);
    print("v", p.velocity);
    print("f", p.force);
    print("n", cloth.normals[j]);
    std::printf("\n");
    ok = ok && finite(p.position) && finite(p.velocity) && finite(p.force) &&
         finite(cloth.normals[j]);
  }
  return ok;
}

Cloth cloth;  // large: kept off the stack

}  // namespace

int main() {
  cloth.build(3.0, 15);
  vellumry::Particle& first = cloth.particleAt(0, 0);
  vellumry::Particle& second = cloth.particleAt(0, 14);
  bool ok = true;
  int phase = 0;
  for (int frame = 1; frame <= kFrames; ++frame) {
    for (int s = 0; s < kStepsPerFrame; ++s) {
      cloth.step(kTimeStep);
    }
    while (phase + 1 < static_cast<int>(std::size(kScript)) &&
           kScript[phase + 1].firstFrame <= frame) {
      ++phase;
    }
    first.position += kScript[phase].firstMount;
    second.position += kScript[phase].secondMount;
    if (frame % 50 == 0) {
      ok = dump(cloth, frame) && ok;
    }
  }
  vellumry::ClothMaterial bent;
  bent.bend = 2.0;
  bent.gravity = Vec3(0.05, -1.0, 0.02);
  cloth.setThreads(2, 1);
  cloth.build(3.0, 64, bent);
  for (int frame = 1; frame <= 40; ++frame) {
    cloth.advance(kTimeStep / 8, kStepsPerFrame * 8);  // eight substeps keep this cloth stable
    cloth.particleAt(0, 0).position += Vec3(-0.02, 0, 0.01);
    cloth.particleAt(0, 63).position += Vec3(0.01, 0.005, 0.01);
  }
  ok = dump(cloth, 1040) && ok;
  if (!ok) {
    std::fprintf(stderr, "trajectory: a value went non-finite\n");
    return 1;
  }
  return 0;
}
