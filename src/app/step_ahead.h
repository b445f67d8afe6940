#pragma once

#include "session/event.h"

namespace vellumry {

/// A big cloth's steps are most of its tick. The window takes the coming tick's steps on a thread
/// of their own as soon as a tick ends, while it waits for the timer, so that the tick itself has
/// only the drawing left. The steps are the same. An input that changes what they read (a grab,
/// a release, a cut, a setting) and arrives while they are under way is held, then recorded and
/// applied as that tick ends, before the steps after it: it acts a tick later than it would
/// otherwise, and a session recorded so replays to the same bits. Pointer motion, a pull and the
/// mouse modes act at once, as they always do, unless an input before them is held; the view and
/// the colours always do.

/// Starts the thread the steps are taken on; until then no step is taken ahead.
void beginStepAhead();
/// Ends a tick whose steps were taken, so that a session's last record holds a state between two
/// ticks, and then the thread.
void endStepAhead();
/// Whether the coming tick's steps may be taken ahead: a cloth finer than kAheadGrid a side,
/// the thread started, not a replay, not paused.
[[nodiscard]] bool mayStepAhead();
/// Takes the coming tick's steps on the thread; inputs are held from now until the tick ends.
void stepAhead();
/// Returns once steps taken ahead are done; the state is the main thread's again.
void settleAhead();
/// Whether the coming tick's steps have been taken (or are under way): inputs are held.
[[nodiscard]] bool steppedAhead();
/// The tick whose steps were taken ends (its frame drawn or not): the spin, the mounts' moves, the
/// count, and then the inputs held, recorded and applied.
void finishSteppedTick();
/// Holds a live input while steps are taken ahead and it must wait for them; false: it acts now.
[[nodiscard]] bool holdInput(const Event& event);

inline constexpr int kAheadGrid = 64;

}  // namespace vellumry
