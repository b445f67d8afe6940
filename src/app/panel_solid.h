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
/// Reads the mesh file of a scene read from a file and, unless its solid is in force already,
/// sends the event that puts it (or none, when the scene names no file) in force; false with why,
/// and nothing sent, when the file cannot be read.
bool sendSceneSolid(const Scene& loaded, void (*send)(const Event&), std::string& why);

}  // namespace vellumry
