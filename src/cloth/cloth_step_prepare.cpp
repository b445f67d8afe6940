#include <algorithm>
#include <cstddef>

#include "cloth/cloth.h"
#include "cloth/step_layout.h"

namespace vellumry {

using namespace step;

namespace {


int linkOf(SpringKind kind, int n, int step) {
  for (int link = 0; link < kLinks; ++link) {
    const LinkShape& s = kShapes[link];
    if (s.kind == kind && s.rowStep * n + s.columnStep == step) {
      return link;
    }
  }
  return -1;
}

}  // namespace

void ClothStepper::prepare(const Cloth& cloth) {
  ready = false;
  n = cloth.gridSize;
  if (n < 2) {
    return;
  }
  cells = n * n;
  springCount = cloth.springCount;
  const auto cellCount = static_cast<std::size_t>(cells);
  values.resize(std::max(values.size(), kArrays * cellCount));
  links.resize(std::max(links.size(), kLinks * cellCount));
  std::fill_n(links.begin(), kLinks * cellCount, -1);
  zeros.resize(std::max(zeros.size(), static_cast<std::size_t>(n)));
  sizeRings();
  ready = listsAreTheGrids(cloth) && findLinks(cloth) && linksInCreationOrder();
}

// The system lists each particle, its gravity and its drag, then every spring, in pool order.
bool ClothStepper::listsAreTheGrids(const Cloth& cloth) const {
  const ParticleSystem& system = cloth.system;
  const auto cellCount = static_cast<std::size_t>(cells);
  if (system.particles.size() != cellCount || system.forces.size() != listed(cloth)) {
    return false;
  }
  const ExternalForce& push = cloth.push;
  if (cloth.pushing &&
      (system.forces[2 * cellCount] != &push || push.particles != cloth.particles.data() ||
       push.forces != cloth.external.data() || push.count != cells)) {
    return false;
  }
  for (std::size_t j = 0; j < cellCount; ++j) {
    const Particle* p = &cloth.particles[j];
    if (system.particles[j] != p || system.forces[2 * j] != &cloth.gravities[j] ||
        system.forces[2 * j + 1] != &cloth.drags[j] || cloth.gravities[j].particle != p ||
        cloth.drags[j].particle != p) {
      return false;
    }
  }
  std::size_t at = 2 * cellCount + (cloth.pushing ? 1 : 0);
  for (std::size_t s = 0; s < static_cast<std::size_t>(springCount); ++s) {
    const Spring& spring = cloth.springs[s];
    if (spring.particleA == nullptr || spring.particleB == nullptr) {
      return false;
    }
    if (cloth.broken[s] == 0 && system.forces[at++] != &spring) {
      return false;
    }
  }
  return true;
}

// Every spring is one link of one vertex, and no link is taken twice.
bool ClothStepper::findLinks(const Cloth& cloth) {
  bend = false;
  for (int s = 0; s < springCount; ++s) {
    const Spring& spring = cloth.springs[s];
    const auto a = static_cast<int>(spring.particleA - cloth.particles.data());
    const auto b = static_cast<int>(spring.particleB - cloth.particles.data());
    const int link =
        a < 0 || a >= cells || b < 0 || b >= cells ? -1 : linkOf(cloth.springKinds[s], n, b - a);
    if (link < 0) {
      return false;
    }
    const LinkShape& shape = kShapes[link];
    const int column = a % n;
    const int row = a / n;
    int& entry = links[static_cast<std::size_t>(link) * cells + a];
    if (row >= n - shape.shortRows || column < shape.first || column >= n - shape.shortColumns ||
        entry >= 0) {
      return false;
    }
    entry = s;
    bend = bend || link >= kBendRow;
  }
  return true;
}

// Each vertex must meet its springs in the order the step adds them: creation order.
bool ClothStepper::linksInCreationOrder() const {
  for (int v = 0; v < cells; ++v) {
    const int terms[][2] = {{kDiagonal, v - n - 1}, {kDown, v - n},     {kAntiDiagonal, v - n + 1},
                            {kRight, v - 1},        {kDown, v},         {kRight, v},
                            {kDiagonal, v},         {kAntiDiagonal, v}, {kBendRow, v - 2 * n},
                            {kBendColumn, v - 2},   {kBendRow, v},      {kBendColumn, v}};
    int last = -1;
    for (const auto& [link, slot] : terms) {
      const int s = slot < 0 ? -1 : links[static_cast<std::size_t>(link) * cells + slot];
      if (s >= 0 && s <= last) {
        return false;
      }
      last = std::max(last, s);
    }
  }
  return true;
}

void ClothStepper::share(int parts, WorkerPool::Job job, void* context) {
  if (parts <= 1) {
    job(context, 0);
  } else {
    pool.run(std::min(parts, threads()), job, context);
  }
}

void ClothStepper::setThreads(int count, int particlesPerThread) {
  pool.resize(std::clamp(count, 1, kMaxBands) - 1);
  leastShare = std::max(1, particlesPerThread);
  if (n >= 2) {
    sizeRings();
  }
}

void ClothStepper::sizeRings() {
  ringStride = n + kMargin + 1;
  const auto needed = static_cast<std::size_t>(threads()) * kRingRows * 3 * kLinks * ringStride;
  rings.resize(std::max(rings.size(), needed));
  std::fill_n(rings.begin(), needed, 0.0);  // the margins, and links a vertex lacks, stay zero
  faces.resize(std::max(faces.size(), static_cast<std::size_t>(threads()) * 12 * (n + 1)));
}

double* ClothStepper::ringRow(int band, int row) {
  const int slot = band * kRingRows + (row + kRingRows) % kRingRows;
  return rings.data() + static_cast<std::ptrdiff_t>(slot) * 3 * kLinks * ringStride;
}

// The particles, their gravities and drags, the external force if pushing, the springs not broken.
std::size_t ClothStepper::listed(const Cloth& cloth) const {
  return 2 * static_cast<std::size_t>(cells) + (cloth.pushing ? 1 : 0) +
         static_cast<std::size_t>(springCount - cloth.brokenCount);
}

bool ClothStepper::accepts(const Cloth& cloth) const {
  return ready && cloth.gridSize == n && cloth.springCount == springCount &&
         cloth.system.particles.size() == static_cast<std::size_t>(cells) &&
         cloth.system.forces.size() == listed(cloth);
}

}  // namespace vellumry
