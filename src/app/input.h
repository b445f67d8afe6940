#pragma once

#include "session/event.h"

namespace vellumry {

/// Applies one input to the viewer's state: the one path for the live window and for replays.
void applyEvent(const Event& event);
/// A live input: ignored while a session is replayed, recorded while one is recorded, then
/// applied.
void submit(const Event& event);

}  // namespace vellumry
