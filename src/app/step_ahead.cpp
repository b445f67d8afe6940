#include "app/step_ahead.h"

#include <array>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

#include "app/input.h"
#include "app/session_run.h"
#include "app/viewer.h"

namespace vellumry {

namespace {

// Far more inputs than a tick of pointer motion brings: consecutive motions and pulls are kept
// as the last of them, each of which sets its rates or target outright.
constexpr int kMostHeld = 512;

struct Ahead {
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  bool requested = false;  // steps to take
  bool busy = false;       // steps requested and not yet done
  bool stopping = false;
};
Ahead ahead;

bool taken = false;  // the coming tick's steps are done or under way (main thread only)
std::array<Event, kMostHeld> held;
int heldCount = 0;

void serve() {
  std::unique_lock lock(ahead.mutex);
  for (;;) {
    ahead.changed.wait(lock, [] { return ahead.requested || ahead.stopping; });
    if (!ahead.requested) {
      return;
    }
    ahead.requested = false;
    lock.unlock();
    stepTick();
    lock.lock();
    ahead.busy = false;
    ahead.changed.notify_all();
  }
}

// The view and the colours: nothing but the next frame reads them, so a change of them acts at
// once whatever is held, in its own order.
bool changesThePictureOnly(const Event& event) {
  const std::span<const Param> params = sceneParams();
  return event.kind == EventKind::kSet && event.value >= 0 &&
         event.value < static_cast<int>(params.size()) &&
         changesOnlyPicture(params[static_cast<std::size_t>(event.value)]);
}

// An input that acts only between a tick's steps and its end: the steps under way read nothing
// it writes, so it acts at once, as it would have.
bool actsAfterTheSteps(const Event& event) {
  switch (event.kind) {
    case EventKind::kPress:
    case EventKind::kMotion:
    case EventKind::kPull:
      return true;
    case EventKind::kMenu:
      return event.value != kMenuRedrop;
    default:
      return false;
  }
}

void stopThread() {
  if (!ahead.thread.joinable()) {
    return;
  }
  settleAhead();
  {
    const std::lock_guard lock(ahead.mutex);
    ahead.stopping = true;
  }
  ahead.changed.notify_all();
  ahead.thread.join();
  ahead.stopping = false;
}

}  // namespace

void beginStepAhead() {
  if (ahead.thread.joinable()) {
    return;
  }
  try {
    ahead.thread = std::thread(serve);
  } catch (const std::system_error&) {
    return;  // every tick takes its own steps, as a small cloth's do
  }
  static const bool registered = std::atexit(stopThread) == 0;  // when GLUT exits on a close
  static_cast<void>(registered);
}

void endStepAhead() {
  if (taken) {
    finishSteppedTick();
    afterTick();
  }
  stopThread();
}

bool mayStepAhead() {
  return ahead.thread.joinable() && !replaying() && !paused && scene.grid > kAheadGrid;
}

void stepAhead() {
  {
    const std::lock_guard lock(ahead.mutex);
    ahead.requested = true;
    ahead.busy = true;
  }
  taken = true;
  ahead.changed.notify_all();
}

void settleAhead() {
  if (!taken) {
    return;
  }
  std::unique_lock lock(ahead.mutex);
  ahead.changed.wait(lock, [] { return !ahead.busy; });
}

bool steppedAhead() { return taken; }

bool holdInput(const Event& event) {
  if (!taken || changesThePictureOnly(event) || (heldCount == 0 && actsAfterTheSteps(event))) {
    return false;
  }
  // Later inputs wait behind an earlier one held, in their order.
  Event* last = heldCount > 0 ? &held[static_cast<std::size_t>(heldCount - 1)] : nullptr;
  if (last != nullptr && last->kind == event.kind &&
      (event.kind == EventKind::kMotion || event.kind == EventKind::kPull)) {
    *last = event;
  } else if (heldCount < kMostHeld) {
    held[static_cast<std::size_t>(heldCount++)] = event;
  }
  return true;
}

void finishSteppedTick() {
  settleAhead();
  finishTick();
  taken = false;
  const int count = heldCount;
  heldCount = 0;
  for (int i = 0; i < count; ++i) {
    submit(held[static_cast<std::size_t>(i)]);
  }
}

}  // namespace vellumry
