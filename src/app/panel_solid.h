#pragma once

#include <cstddef>
#include <string>

#include "scene/scene.h"
#include "session/event.h"

namespace vellumry {

/// The solid's part of the panel, after the mesh parameters: a file box with Load (Enter in the
/// box loads too), Remove while a solid is in force, and what it is. Loading reads the file at
/// once; a file that cannot be read changes nothing and why goes to refusal. What it does goes
/// through send, as an event.
void solidControls(void (*send)(const Event&), char* refusal, std::size_t refusalSize);
/// The event that puts in force the solid of a scene read from a file (none when it names no
/// mesh file), reading the file; false with why when it cannot be read.
bool sceneSolidEvent(const Scene& loaded, Event& event, std::string& why);

}  // namespace vellumry
