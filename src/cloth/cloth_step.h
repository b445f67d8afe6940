#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "cloth/cloth_outside.h"
#include "cloth/worker_pool.h"

namespace vellumry {

class Cloth;

/// Rows firstRow .. endRow - 1 of the stepper's arrays at the boundary of two time steps, entry
/// v of component c at [c][v]: every row's positions and velocities as the step left them; the
/// air and the external force are the band's own to write in its rows, and the air of the row
/// before it may be read once every band has written its own.
struct BandRows {
  int n = 0;
  int firstRow = 0;
  int endRow = 0;
  int boundary = 0;  ///< time steps ended so far in this advance
  const double* position[3]{};
  const double* velocity[3]{};
  double* air[3]{};
  double* external[3]{};
  double* scratch = nullptr;  ///< 12 (n + 1) values, the band's own
};

/// Work at the boundaries of time steps, one every `every` steps, with the cloth's pools up to
/// date: begin before the first step, call between two steps, end after the last. Each may change
/// the external forces and break springs, nothing else.
///
/// With byBands, the stepper does the same work band by band on its own arrays instead, and
/// turns to the serial calls only where a spring breaks: at each boundary but the first it looks
/// for springs longer than tearRatio times their rest length (none if tearRatio <= 0); where it
/// finds none, every band runs air, then push (the band form of begin and of the rest of call)
/// on its rows, and one runs passed (the rest of call, or of end).
struct StepHook {
  void (*call)(Cloth& cloth, void* data) = nullptr;
  void* data = nullptr;
  int every = 1;
  void (*begin)(Cloth& cloth, void* data) = nullptr;
  void (*end)(Cloth& cloth, void* data) = nullptr;
  bool byBands = false;
  double tearRatio = 0.0;
  void (*air)(void* data, const BandRows& rows) = nullptr;
  void (*push)(void* data, const BandRows& rows) = nullptr;
  void (*passed)(Cloth& cloth, void* data) = nullptr;
};

/// The cloth's step over arrays, with the grid's springs as fixed neighbour links: each
/// accumulator receives the same additions, in the same order, as in the particle system's step
/// over the cloth's force list, so the bits are the same. The rows are split into fixed bands,
/// one a thread, and every thread writes only its own rows: any number of threads gives the same
/// bits. Masses, forces' constants, springs' constants, which springs are broken and the external
/// forces are read afresh at each advance; the obstacles act after each step, row by row.
class ClothStepper final {
 public:
  static constexpr int kMaxBands = 64;

  /// Learns which spring joins which neighbours; after every build or change of the springs.
  /// A cloth whose springs or force list are not the grid's own is left to the system's step.
  void prepare(const Cloth& cloth);
  /// Forgets the cloth: advance declines until the next prepare.
  void clear() { ready = false; }
  void setThreads(int count, int particlesPerThread);
  [[nodiscard]] int threads() const { return pool.workers() + 1; }
  /// Runs job(context, part) for each part below `parts` (at most threads()) on the step's
  /// threads, part 0 on the caller's; between steps.
  void share(int parts, WorkerPool::Job job, void* context);
  /// Whether advance would step this cloth.
  [[nodiscard]] bool accepts(const Cloth& cloth) const;
  /// `steps` steps of dt; false, with nothing changed, if this cloth is not one it can step.
  bool advance(Cloth& cloth, double dt, int steps, const StepHook& hook);

 private:
  struct Run {
    ClothStepper* stepper;
    Cloth* cloth;
    const ClothObstacles* obstacles;  ///< null when there are none
    StepHook hook;
    double dt;
    int steps;
    int bands;
    bool pushed;  ///< whether the external force is listed
    bool byBands;
  };

  static void runBand(void* data, int band);
  [[nodiscard]] bool listsAreTheGrids(const Cloth& cloth) const;
  [[nodiscard]] std::size_t listed(const Cloth& cloth) const;
  [[nodiscard]] bool findLinks(const Cloth& cloth);
  [[nodiscard]] bool linksInCreationOrder() const;
  void load(const Cloth& cloth, int firstRow, int endRow);
  void loadExternal(const Cloth& cloth, int begin, int end);
  void loadLinks(const Cloth& cloth, int begin, int end);
  void between(const Run& run, int band, int first, int end, int buffer, int& broken);
  void boundary(const Run& run, int band, int first, int end, int buffer, int& broken, int step);
  void blowRows(const Run& run, int band, int first, int end, int buffer);
  [[nodiscard]] int stretchedRows(double ratio, int first, int end, int buffer) const;
  [[nodiscard]] bool anyStretched(int bands) const;
  [[nodiscard]] BandRows rowsOf(int band, int first, int end, int buffer, int ended);
  void storeExternal(Cloth& cloth, int firstRow, int endRow) const;
  void store(Cloth& cloth, int firstRow, int endRow, int buffer) const;
  void springRow(int row, int buffer, double* ring);
  void particleRow(int row, int buffer, const Run& run, int band);
  void keepRowOut(const ClothObstacles& obstacles, int first, int buffer);
  [[nodiscard]] double* array(int which) {
    return values.data() + static_cast<std::ptrdiff_t>(which) * cells;
  }
  [[nodiscard]] const double* array(int which) const {
    return values.data() + static_cast<std::ptrdiff_t>(which) * cells;
  }
  [[nodiscard]] double* ringRow(int band, int row);
  void sizeRings();

  bool ready = false;
  bool bend = false;  ///< whether the springs include bend springs
  int n = 0;
  int cells = 0;  ///< n * n
  int springCount = 0;
  int leastShare = 1;          ///< fewest particles worth another thread
  int ringStride = 0;          ///< one link's force components along a row, with zero margins
  std::vector<int> links;      ///< spring of each link and grid vertex, -1 where there is none
  std::vector<double> values;  ///< the per-vertex arrays, `cells` values each
  std::vector<double> rings;   ///< forces of each thread's last three spring rows
  std::vector<double> zeros;   ///< a row's external forces when there are none
  std::vector<double> faces;   ///< each band's BandRows::scratch
  std::array<int, kMaxBands> stretched{};  ///< springs each band found past the tear ratio
  WorkerPool pool;
};

}  // namespace vellumry
