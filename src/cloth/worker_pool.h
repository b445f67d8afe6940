#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace vellumry {

/// Threads that wait, asleep, for a job and run their own part of it beside the calling thread.
/// One job at a time, started and finished by the same caller.
class WorkerPool final {
 public:
  using Job = void (*)(void* context, int part);

  WorkerPool() = default;
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  /// Keeps this many threads besides the caller; fewer if the system refuses more.
  void resize(int workers);
  [[nodiscard]] int workers() const { return static_cast<int>(threads.size()); }
  /// Runs job(context, part) for every part from 0 to parts - 1, part 0 on the calling thread,
  /// and returns once all have returned. parts is at most workers() + 1.
  void run(int parts, Job job, void* context);
  /// Called by every part of the running job: returns once all of them have called it.
  void sync();

 private:
  struct alignas(64) Signal {
    std::atomic<std::uint32_t> count{0};
  };

  void serve(int worker, std::uint32_t seen);
  void stop();

  std::vector<std::thread> threads;
  std::unique_ptr<Signal[]> starts;  ///< entry w is bumped to start worker w, or to stop it
  std::atomic<int> unfinished{0};    ///< workers still in the running job
  std::atomic<int> arrived{0};       ///< parts waiting in sync()
  std::atomic<std::uint32_t> passed{0};
  int parts = 1;
  Job job = nullptr;
  void* context = nullptr;
  bool stopping = false;
};

}  // namespace vellumry
