#pragma once

#include "session/event.h"

namespace vellumry {

/// Applies one input to the viewer's state: the one path for the live window and for replays.
void applyEvent(const Event& event);
/// A live input: ignored while a session is replayed, held while steps taken ahead must come
/// first, recorded while a session is recorded, then applied.
void submit(const Event& event);

}  // namespace vellumry
