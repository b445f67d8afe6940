#include "cloth/cloth_step.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "cloth/cloth.h"
#include "cloth/step_layout.h"

namespace vellumry {

using namespace step;

bool ClothStepper::advance(Cloth& cloth, double dt, int steps, const StepHook& hook) {
  if (!accepts(cloth)) {
    return false;
  }
  const bool byBands = hook.byBands && steps > 0;
  if (!byBands && hook.begin != nullptr) {
    hook.begin(cloth, hook.data);
  }
  if (steps > 0) {
    const int bands = std::min({threads(), std::max(1, cells / leastShare), n});
    const ClothObstacles* obstacles = cloth.obstacles.any() ? &cloth.obstacles : nullptr;
    Run run{this, &cloth, obstacles, hook, dt, steps, bands, cloth.pushing, byBands};
    if (bands == 1) {
      runBand(&run, 0);
    } else {
      pool.run(bands, &ClothStepper::runBand, &run);
    }
    if (byBands && !anyStretched(bands)) {
      if (hook.passed != nullptr) {
        hook.passed(cloth, hook.data);
      }
      return true;
    }
  }
  if (hook.end != nullptr) {
    hook.end(cloth, hook.data);
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
  if (run.byBands) {
    s.blowRows(run, band, first, end, 0);
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
    const bool last = step + 1 == run.steps;
    if (run.byBands && (last || (step + 1) % run.hook.every == 0)) {
      s.boundary(run, band, first, end, buffer, broken, step);
      continue;
    }
    if (run.hook.call != nullptr && (step + 1) % run.hook.every == 0 && !last) {
      s.between(run, band, first, end, buffer, broken);
    }
    if (run.bands > 1 && !last) {
      s.pool.sync();
    }
  }
  s.store(*run.cloth, first, end, buffer);
  if (run.byBands && run.pushed) {
    s.storeExternal(*run.cloth, first, end);
  }
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
  double* tearRest = array(kTearRest);
  for (int v = begin; v < end; ++v) {
    for (int link = 0; link < (bend ? kLinks : kBendRow); ++link) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(link) * cells + v;
      if (links[at] >= 0) {
        const Spring& spring = cloth.springs[links[at]];
        const bool gone = cloth.broken[links[at]] != 0;
        rest[at] = spring.restLength;
        stiffness[at] = gone ? 0.0 : spring.stiffness;
        tearRest[at] = gone ? HUGE_VAL : spring.restLength;
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

// Most particles touch nothing: one pass finds the stretch of the row that does, with keepOut's
// own test, and only that stretch pays for the contact loop.
void ClothStepper::keepRowOut(const ClothObstacles& obstacles, int first, int buffer) {
  double* x = array(kPosition + 3 * buffer) + first;
  double* y = x + cells;
  double* z = y + cells;
  const double* pinned = array(kPinned) + first;
  const Solids o{obstacles.centre.x,
                 obstacles.centre.y,
                 obstacles.centre.z,
                 obstacles.ball ? obstacles.radius * obstacles.radius : -1.0,
                 obstacles.radius,
                 1.0 - obstacles.ballFriction,
                 obstacles.floor ? obstacles.height : -HUGE_VAL,
                 1.0 - obstacles.floorFriction};
  const Reach touching = touchingSpan(n, o, pinned, x, y, z);
  if (touching.first <= touching.last) {
    const int k = touching.first;
    double* vx = array(kVelocity) + first + k;
    double* vy = vx + cells;
    double* vz = vy + cells;
    contactSpan(touching.last + 1 - k, o, pinned + k, x + k, y + k, z + k, vx, vy, vz);
  }
}

}  // namespace vellumry
