#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "session/event.h"

namespace vellumry {

/// A scene file the panel offers.
struct SceneFile {
  std::string path;
  std::string label;  ///< the file's name, and the directory it is in after the first
};

/// The *.toml files of each directory that exists, each directory's sorted by name.
[[nodiscard]] std::vector<SceneFile> listSceneFiles(std::initializer_list<const char*> dirs);
/// The events that turn the scene in force, from, into to, as the input path applies them: a
/// kSet for each parameter that differs (in an order whose every step the scene accepts), the
/// pin list, then a Redrop, which builds the cloth of to.
[[nodiscard]] std::vector<Event> sceneEvents(const Scene& from, const Scene& to);

}  // namespace vellumry
