#pragma once

#include <cstddef>
#include <vector>

#include "cloth/cloth_outside.h"
#include "cloth/worker_pool.h"

namespace vellumry {

class Cloth;

/// Work between the time steps of one advance: call(cloth, data) after every `every` steps but
/// the last, with the cloth's pools up to date. It may change the external forces and break
/// springs, nothing else.
struct StepHook {
  void (*call)(Cloth& cloth, void* data) = nullptr;
  void* data = nullptr;
  int every = 1;
};

/// The cloth's step over arrays, with the grid's springs as fixed neighbour links: each
/// accumulator receives the same additions, in the same order, as in the particle system's step
/// over the cloth's force list, so the bits are the same. The rows are split into fixed bands,
/// one a thread, and every thread writes only its own rows: any number of threads gives the same
/// bits. Masses, forces' constants, springs' constants, which springs are broken and the external
/// forces are read afresh at each advance; the obstacles act after each step, row by row.
class ClothStepper final {
 public:
  /// Learns which spring joins which neighbours; after every build or change of the springs.
  /// A cloth whose springs or force list are not the grid's own is left to the system's step.
  void prepare(const Cloth& cloth);
  /// Forgets the cloth: advance declines until the next prepare.
  void clear() { ready = false; }
  void setThreads(int count, int particlesPerThread);
  [[nodiscard]] int threads() const { return pool.workers() + 1; }
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
  WorkerPool pool;
};

}  // namespace vellumry
