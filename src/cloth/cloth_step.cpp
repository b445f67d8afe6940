#include "cloth/cloth_step.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "cloth/cloth.h"

// The two loops below are built for three vector widths and the widest the processor has is
// chosen when the program starts; square roots and divisions are exact at every width, so each
// gives the same bits.
#if defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define VELLUMRY_EVERY_WIDTH __attribute__((target_clones("avx512f", "avx2", "default")))
#endif
#endif
#ifndef VELLUMRY_EVERY_WIDTH
#define VELLUMRY_EVERY_WIDTH
#endif

namespace vellumry {

namespace {

// The springs of vertex (column, row), each named after where its other end lies, in the order
// the cloth creates them: down a row, along the row, the two diagonals down, then the bend
// springs two rows down and two columns along.
enum Link : int { kDown, kRight, kDiagonal, kAntiDiagonal, kBendRow, kBendColumn, kLinks };

/// Which vertices have a link: rows 0 .. n - 1 - shortRows, columns first .. n - 1 - shortColumns.
struct LinkShape {
  SpringKind kind;
  int rowStep;
  int columnStep;
  int shortRows;
  int first;
  int shortColumns;
};

constexpr LinkShape kShapes[kLinks] = {
    {SpringKind::kStructural, 1, 0, 1, 0, 0}, {SpringKind::kStructural, 0, 1, 0, 0, 1},
    {SpringKind::kShear, 1, 1, 1, 0, 1},      {SpringKind::kShear, 1, -1, 1, 1, 0},
    {SpringKind::kBend, 2, 0, 2, 0, 0},       {SpringKind::kBend, 0, 2, 0, 0, 2},
};

// Per-vertex arrays in `values`: positions (two buffers, x y z each), velocity, force, gravity's
// force, then drag (minus the coefficient), the integrator's divisor, pinned (1 or 0), each
// link's rest length and stiffness (0 once broken), and the external force.
enum Array : int {
  kPosition = 0,
  kVelocity = 6,
  kForce = 9,
  kGravity = 12,
  kDrag = 15,
  kDivisor,
  kPinned,
  kRest,
  kStiffness = kRest + kLinks,
  kExternal = kStiffness + kLinks,
  kArrays = kExternal + 3,
};

/// A ring row holds, for each component and link, n forces with two zeros before and one after.
constexpr int kMargin = 2;
constexpr int kRingRows = 3;
constexpr int kMaxThreads = 64;

// The force of each spring of a row on its first end; what Spring::apply adds to A.
VELLUMRY_EVERY_WIDTH void springSpan(int count, int offset, const double* __restrict x,
                                     const double* __restrict y, const double* __restrict z,
                                     const double* __restrict rest,
                                     const double* __restrict stiffness, double* __restrict fx,
                                     double* __restrict fy, double* __restrict fz) {
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const int b = k + offset;
    const double dx = x[k] - x[b];
    const double dy = y[k] - y[b];
    const double dz = z[k] - z[b];
    const double length = std::sqrt((dz * dz + dy * dy) + dx * dx);
    const double magnitude = (length - rest[k]) * stiffness[k];
    const double ux = x[b] - x[k];
    const double uy = y[b] - y[k];
    const double uz = z[b] - z[k];
    const double uu = (ux * ux + uy * uy) + uz * uz;
    // Coincident ends add nothing. Here they add a zero (0 times a component that is finite,
    // since its square vanished), which leaves an accumulator that started at +0 unchanged.
    const bool none = uu == 0.0;
    const double m = none ? 0.0 : magnitude;
    const double norm = none ? 1.0 : std::sqrt(uu);
    fx[k] = m * (ux / norm);
    fy[k] = m * (uy / norm);
    fz[k] = m * (uz / norm);
  }
}

// One component of a row of particles: its accumulator summed in the force list's order, then
// the integrator. `here`, `above` and `twoAbove` hold the links of this row and of the two rows
// before it, link L of column k at [L * stride + k]; links a vertex lacks hold zeros, and adding
// a zero leaves an accumulator that started at +0 unchanged. So does a broken link's zero
// stiffness, which makes its force a zero, and the external force of a cloth without one: a row of
// zeros.
VELLUMRY_EVERY_WIDTH void componentSpan(
    int count, int stride, bool bend, double dt, const double* __restrict gravity,
    const double* __restrict drag, const double* __restrict external,
    const double* __restrict divisor, const double* __restrict pinned,
    const double* __restrict here, const double* __restrict above,
    const double* __restrict twoAbove, const double* __restrict position, double* __restrict moved,
    double* __restrict velocity, double* __restrict force) {
  const double h = 0.5 * dt;
  const auto sum = [&](int k) {
    double f = 0.0 + gravity[k];
    f = f + drag[k] * velocity[k];
    f = f + external[k];
    f = f - above[kDiagonal * stride + k - 1];
    f = f - above[kDown * stride + k];
    f = f - above[kAntiDiagonal * stride + k + 1];
    f = f - here[kRight * stride + k - 1];
    f = f + here[kDown * stride + k];
    f = f + here[kRight * stride + k];
    f = f + here[kDiagonal * stride + k];
    return f + here[kAntiDiagonal * stride + k];
  };
  // Pinned: position and velocity stay (its divisor is 1, not its mass, which may be 0).
  const auto integrate = [&](int k, double f) {
    force[k] = f;
    const bool stays = pinned[k] != 0.0;
    const double v = velocity[k] + (dt * f) / divisor[k];
    const double p = position[k] + h * v;
    velocity[k] = stays ? velocity[k] : v;
    moved[k] = stays ? position[k] : p;
  };
  if (!bend) {
#pragma omp simd
    for (int k = 0; k < count; ++k) {
      integrate(k, sum(k));
    }
    return;
  }
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    double f = sum(k) - twoAbove[kBendRow * stride + k];
    f = f - here[kBendColumn * stride + k - 2];
    f = f + here[kBendRow * stride + k];
    integrate(k, f + here[kBendColumn * stride + k]);
  }
}

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

void ClothStepper::setThreads(int count, int particlesPerThread) {
  pool.resize(std::clamp(count, 1, kMaxThreads) - 1);
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

bool ClothStepper::advance(Cloth& cloth, double dt, int steps, const StepHook& hook) {
  if (!accepts(cloth)) {
    return false;
  }
  if (steps <= 0) {
    return true;
  }
  const int bands = std::min({threads(), std::max(1, cells / leastShare), n});
  const ClothObstacles* obstacles = cloth.obstacles.any() ? &cloth.obstacles : nullptr;
  Run run{this, &cloth, obstacles, hook, dt, steps, bands, cloth.pushing};
  if (bands == 1) {
    runBand(&run, 0);
  } else {
    pool.run(bands, &ClothStepper::runBand, &run);
  }
  return true;
}

// A band steps its own rows. It first recomputes the springs of the rows just before it (those
// that reach into it), so that it needs nothing from another band but the positions, which are
// double-buffered: one synchronisation a step.
void ClothStepper::runBand(void* data, int band) {
  const Run& run = *static_cast<const Run*>(data);
  ClothStepper& s = *run.stepper;
  const int first = band * s.n / run.bands;
  const int end = (band + 1) * s.n / run.bands;
  s.load(*run.cloth, first, end);
  int broken = run.cloth->brokenCount;
  if (run.bands > 1) {
    s.pool.sync();
  }
  const int reach = s.bend ? 2 : 1;
  int buffer = 0;
  for (int step = 0; step < run.steps; ++step) {
    for (int row = first - reach; row < end; ++row) {
      s.springRow(row, buffer, s.ringRow(band, row));
      if (row >= first) {
        s.particleRow(row, buffer, run, band);
      }
    }
    buffer ^= 1;
    if (run.hook.call != nullptr && (step + 1) % run.hook.every == 0 && step + 1 < run.steps) {
      s.between(run, band, first, end, buffer, broken);
    }
    if (run.bands > 1 && step + 1 < run.steps) {
      s.pool.sync();
    }
  }
  s.store(*run.cloth, first, end, buffer);
}

// Between two of the hook's steps: the pools get the state, the hook runs on one thread, and each
// band reads back what the hook may change: the external forces and the broken springs. The
// positions, which the hook leaves alone, stay where they are.
void ClothStepper::between(const Run& run, int band, int first, int end, int buffer, int& broken) {
  const auto sync = [&] {
    if (run.bands > 1) {
      pool.sync();
    }
  };
  sync();
  store(*run.cloth, first, end, buffer);
  sync();
  if (band == 0) {
    run.hook.call(*run.cloth, run.hook.data);
  }
  sync();
  loadExternal(*run.cloth, first * n, end * n);
  if (run.cloth->brokenCount != broken) {
    broken = run.cloth->brokenCount;
    loadLinks(*run.cloth, first * n, end * n);
  }
}

void ClothStepper::load(const Cloth& cloth, int firstRow, int endRow) {
  const int begin = firstRow * n;
  const int end = endRow * n;
  double* x = array(kPosition);
  double* vx = array(kVelocity);
  double* gx = array(kGravity);
  double* drag = array(kDrag);
  double* divisor = array(kDivisor);
  double* pinned = array(kPinned);
  for (int v = begin; v < end; ++v) {
    const Particle& p = cloth.particles[v];
    const Vec3 g = p.mass * cloth.gravities[v].acceleration;
    x[v] = p.position.x;
    x[v + cells] = p.position.y;
    x[v + 2 * cells] = p.position.z;
    vx[v] = p.velocity.x;
    vx[v + cells] = p.velocity.y;
    vx[v + 2 * cells] = p.velocity.z;
    gx[v] = g.x;
    gx[v + cells] = g.y;
    gx[v + 2 * cells] = g.z;
    drag[v] = -cloth.drags[v].coefficient;
    divisor[v] = p.pinned ? 1.0 : p.mass;
    pinned[v] = p.pinned ? 1.0 : 0.0;
  }
  loadExternal(cloth, begin, end);
  loadLinks(cloth, begin, end);
}

void ClothStepper::loadExternal(const Cloth& cloth, int begin, int end) {
  if (!cloth.pushing) {
    return;
  }
  double* ex = array(kExternal);
  for (int v = begin; v < end; ++v) {
    const Vec3& f = cloth.external[v];
    ex[v] = f.x;
    ex[v + cells] = f.y;
    ex[v + 2 * cells] = f.z;
  }
}

// Vertex by vertex, so that the springs are read in about the order they lie in their pool.
void ClothStepper::loadLinks(const Cloth& cloth, int begin, int end) {
  double* rest = array(kRest);
  double* stiffness = array(kStiffness);
  for (int v = begin; v < end; ++v) {
    for (int link = 0; link < (bend ? kLinks : kBendRow); ++link) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(link) * cells + v;
      if (links[at] >= 0) {
        const Spring& spring = cloth.springs[links[at]];
        rest[at] = spring.restLength;
        stiffness[at] = cloth.broken[links[at]] != 0 ? 0.0 : spring.stiffness;
      }
    }
  }
}

void ClothStepper::store(Cloth& cloth, int firstRow, int endRow, int buffer) const {
  const double* x = array(kPosition + 3 * buffer);
  const double* y = x + cells;
  const double* z = y + cells;
  const double* vx = array(kVelocity);
  const double* fx = array(kForce);
  for (int v = firstRow * n; v < endRow * n; ++v) {
    Particle& p = cloth.particles[v];
    p.position = Vec3(x[v], y[v], z[v]);
    p.velocity = Vec3(vx[v], vx[v + cells], vx[v + 2 * cells]);
    p.force = Vec3(fx[v], fx[v + cells], fx[v + 2 * cells]);
  }
}

// A row before the first, or past the last a link reaches from, is all zeros.
void ClothStepper::springRow(int row, int buffer, double* ring) {
  const double* x = array(kPosition + 3 * buffer);
  for (int link = 0; link < (bend ? kLinks : kBendRow); ++link) {
    const LinkShape& shape = kShapes[link];
    const int first = shape.first;
    const int count = n - shape.shortColumns - first;
    double* f = ring + static_cast<std::ptrdiff_t>(link) * ringStride + kMargin + first;
    double* fy = f + static_cast<std::ptrdiff_t>(kLinks) * ringStride;
    double* fz = fy + static_cast<std::ptrdiff_t>(kLinks) * ringStride;
    if (count <= 0) {
      continue;
    }
    if (row < 0 || row >= n - shape.shortRows) {
      std::fill_n(f, count, 0.0);
      std::fill_n(fy, count, 0.0);
      std::fill_n(fz, count, 0.0);
      continue;
    }
    const int a = row * n + first;
    const double* y = x + cells;
    const double* z = y + cells;
    springSpan(count, shape.rowStep * n + shape.columnStep, x + a, y + a, z + a,
               array(kRest + link) + a, array(kStiffness + link) + a, f, fy, fz);
  }
}

// After the integration the row's free particles leave the obstacles, in the new positions: only
// this band reads or writes them until the next step.
void ClothStepper::particleRow(int row, int buffer, const Run& run, int band) {
  const std::ptrdiff_t component = static_cast<std::ptrdiff_t>(kLinks) * ringStride;
  const double* here = ringRow(band, row) + kMargin;
  const double* above = ringRow(band, row - 1) + kMargin;
  const double* twoAbove = ringRow(band, row - 2) + kMargin;
  const int v = row * n;
  for (int c = 0; c < 3; ++c) {
    const std::ptrdiff_t at = c * static_cast<std::ptrdiff_t>(cells) + v;
    componentSpan(n, ringStride, bend, run.dt, array(kGravity) + at, array(kDrag) + v,
                  run.pushed ? array(kExternal) + at : zeros.data(), array(kDivisor) + v,
                  array(kPinned) + v, here + c * component, above + c * component,
                  twoAbove + c * component, array(kPosition + 3 * buffer) + at,
                  array(kPosition + 3 * (buffer ^ 1)) + at, array(kVelocity) + at,
                  array(kForce) + at);
  }
  if (run.obstacles != nullptr) {
    keepRowOut(*run.obstacles, v, buffer ^ 1);
  }
}

// Most particles touch nothing: one pass finds whether any in the row does, with keepOut's own
// test, and only those that do pay for keepOut.
void ClothStepper::keepRowOut(const ClothObstacles& obstacles, int first, int buffer) {
  double* __restrict x = array(kPosition + 3 * buffer) + first;
  double* __restrict y = x + cells;
  double* __restrict z = y + cells;
  const double* __restrict pinned = array(kPinned) + first;
  const double cx = obstacles.centre.x;
  const double cy = obstacles.centre.y;
  const double cz = obstacles.centre.z;
  const double rr = obstacles.ball ? obstacles.radius * obstacles.radius : -1.0;
  const double floor = obstacles.floor ? obstacles.height : -HUGE_VAL;
  const auto touches = [&](int k) {
    const double dx = x[k] - cx;
    const double dy = y[k] - cy;
    const double dz = z[k] - cz;
    const int inside =
        static_cast<int>((dx * dx + dy * dy) + dz * dz < rr) | static_cast<int>(y[k] < floor);
    return (inside & static_cast<int>(pinned[k] == 0.0)) != 0;
  };
  int touching = 0;
#pragma omp simd reduction(+ : touching)
  for (int k = 0; k < n; ++k) {
    touching += touches(k) ? 1 : 0;
  }
  double* vx = array(kVelocity) + first;
  for (int k = 0; touching > 0 && k < n; ++k) {
    if (!touches(k)) {
      continue;
    }
    --touching;
    Vec3 p(x[k], y[k], z[k]);
    Vec3 u(vx[k], vx[k + cells], vx[k + 2 * cells]);
    keepOut(obstacles, p, u);
    x[k] = p.x;
    y[k] = p.y;
    z[k] = p.z;
    vx[k] = u.x;
    vx[k + cells] = u.y;
    vx[k + 2 * cells] = u.z;
  }
}

}  // namespace vellumry
