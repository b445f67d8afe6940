#include "cloth/worker_pool.h"

#include <system_error>

namespace vellumry {

namespace {

// About 30 microseconds of polling before sleeping: long enough to bridge the gap between two
// steps of one job, far shorter than the gap between two ticks.
constexpr int kSpins = 2000;

void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

template <typename T>
void awaitChange(const std::atomic<T>& value, T old) {
  for (int i = 0; i < kSpins; ++i) {
    if (value.load(std::memory_order_acquire) != old) {
      return;
    }
    pause();
  }
  while (value.load(std::memory_order_acquire) == old) {
    value.wait(old, std::memory_order_acquire);
  }
}

}  // namespace

WorkerPool::~WorkerPool() { stop(); }

void WorkerPool::resize(int workers) {
  if (workers == this->workers()) {
    return;
  }
  stop();
  if (workers <= 0) {
    return;
  }
  starts = std::make_unique<Signal[]>(static_cast<std::size_t>(workers));
  threads.reserve(static_cast<std::size_t>(workers));
  for (int w = 0; w < workers; ++w) {
    try {
      threads.emplace_back(&WorkerPool::serve, this, w, 0U);
    } catch (const std::system_error&) {
      break;  // fewer threads: the same results, a little later
    }
  }
}

void WorkerPool::stop() {
  stopping = true;
  for (std::size_t w = 0; w < threads.size(); ++w) {
    starts[w].count.fetch_add(1, std::memory_order_release);
    starts[w].count.notify_one();
  }
  for (std::thread& t : threads) {
    t.join();
  }
  threads.clear();
  stopping = false;
}

void WorkerPool::run(int parts, Job job, void* context) {
  this->parts = parts;
  this->job = job;
  this->context = context;
  arrived.store(0, std::memory_order_relaxed);
  unfinished.store(parts - 1, std::memory_order_relaxed);
  for (int w = 0; w + 1 < parts; ++w) {
    starts[w].count.fetch_add(1, std::memory_order_release);
    starts[w].count.notify_one();
  }
  job(context, 0);
  for (int left = unfinished.load(std::memory_order_acquire); left != 0;
       left = unfinished.load(std::memory_order_acquire)) {
    awaitChange(unfinished, left);
  }
}

void WorkerPool::sync() {
  const std::uint32_t generation = passed.load(std::memory_order_acquire);
  if (arrived.fetch_add(1, std::memory_order_acq_rel) + 1 == parts) {
    arrived.store(0, std::memory_order_relaxed);
    passed.fetch_add(1, std::memory_order_release);
    passed.notify_all();
    return;
  }
  awaitChange(passed, generation);
}

void WorkerPool::serve(int worker, std::uint32_t seen) {
  for (;;) {
    awaitChange(starts[worker].count, seen);
    seen = starts[worker].count.load(std::memory_order_acquire);
    if (stopping) {
      return;
    }
    job(context, worker + 1);
    if (unfinished.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      unfinished.notify_one();
    }
  }
}

}  // namespace vellumry
