#include <cmath>
#include <cstddef>

#include "cloth/cloth.h"
#include "cloth/cloth_step.h"
#include "cloth/step_layout.h"

namespace vellumry {

using namespace step;

// The end of a time step, band by band. Every band looks for stretched springs among its own
// rows' links; if none anywhere, it reckons the air and then the external forces of its rows
// for the next step, and the pools are left alone. A spring past the ratio sends every band
// through the serial hook instead, which breaks it on the pools as the system's step would.
void ClothStepper::boundary(const Run& run, int band, int first, int end, int buffer, int& broken,
                            int step) {
  const auto sync = [&] {
    if (run.bands > 1) {
      pool.sync();
    }
  };
  sync();
  const double ratio = run.hook.tearRatio;
  stretched[band] = ratio > 0.0 ? stretchedRows(ratio, first, end, buffer) : 0;
  if (step + 1 == run.steps) {
    return;  // the caller ends the last time step
  }
  const bool blows = run.pushed && run.hook.air != nullptr && run.hook.push != nullptr;
  const BandRows rows = rowsOf(band, first, end, buffer, (step + 1) / run.hook.every);
  if (blows) {
    run.hook.air(run.hook.data, rows);
  }
  sync();
  if (anyStretched(run.bands)) {
    between(run, band, first, end, buffer, broken);
    sync();
    return;
  }
  if (band == 0 && run.hook.passed != nullptr) {
    run.hook.passed(*run.cloth, run.hook.data);
  }
  if (blows) {
    run.hook.push(run.hook.data, rows);
  }
}

// Before the first step: the band form of the hook's begin.
void ClothStepper::blowRows(const Run& run, int band, int first, int end, int buffer) {
  if (!run.pushed || run.hook.air == nullptr || run.hook.push == nullptr) {
    return;
  }
  const BandRows rows = rowsOf(band, first, end, buffer, 0);
  run.hook.air(run.hook.data, rows);
  if (run.bands > 1) {
    pool.sync();
  }
  run.hook.push(run.hook.data, rows);
}

BandRows ClothStepper::rowsOf(int band, int first, int end, int buffer, int ended) {
  BandRows rows;
  rows.n = n;
  rows.firstRow = first;
  rows.endRow = end;
  rows.boundary = ended;
  for (int c = 0; c < 3; ++c) {
    rows.position[c] = array(kPosition + 3 * buffer + c);
    rows.velocity[c] = array(kVelocity + c);
    rows.air[c] = array(kAir + c);
    rows.external[c] = array(kExternal + c);
  }
  rows.scratch = faces.data() + static_cast<std::ptrdiff_t>(band) * 12 * (n + 1);
  return rows;
}

int ClothStepper::stretchedRows(double ratio, int first, int end, int buffer) const {
  const double* x = array(kPosition + 3 * buffer);
  const double* y = x + cells;
  const double* z = y + cells;
  int count = 0;
  for (int row = first; row < end; ++row) {
    for (int link = 0; link < (bend ? kLinks : kBendRow); ++link) {
      const LinkShape& shape = kShapes[link];
      const int span = n - shape.shortColumns - shape.first;
      if (row >= n - shape.shortRows || span <= 0) {
        continue;
      }
      const int a = row * n + shape.first;
      count += stretchedSpan(span, shape.rowStep * n + shape.columnStep, ratio, x + a, y + a,
                             z + a, array(kTearRest + link) + a);
    }
  }
  return count;
}

bool ClothStepper::anyStretched(int bands) const {
  int count = 0;
  for (int b = 0; b < bands; ++b) {
    count += stretched[b];
  }
  return count > 0;
}

void ClothStepper::storeExternal(Cloth& cloth, int firstRow, int endRow) const {
  const double* ex = array(kExternal);
  for (int v = firstRow * n; v < endRow * n; ++v) {
    cloth.external[v] = Vec3(ex[v], ex[v + cells], ex[v + 2 * cells]);
  }
}

}  // namespace vellumry
