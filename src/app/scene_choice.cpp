#include "app/scene_choice.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <span>
#include <system_error>

namespace vellumry {

namespace {

bool sameValue(const Vec3& a, const Vec3& b) {
  return std::bit_cast<std::uint64_t>(a.x) == std::bit_cast<std::uint64_t>(b.x) &&
         std::bit_cast<std::uint64_t>(a.y) == std::bit_cast<std::uint64_t>(b.y) &&
         std::bit_cast<std::uint64_t>(a.z) == std::bit_cast<std::uint64_t>(b.z);
}

// Whether the input path would take this change of the scene, as applySetting decides.
bool accepted(const Param& param, const Vec3& value, Scene& at) {
  Scene next = at;
  param.set(next, value);
  std::string why;
  if (!inRange(param, value) || !checkScene(next, why)) {
    return false;
  }
  at = next;
  return true;
}

void addPins(const PinList& pins, std::vector<Event>& events) {
  if (pins.mounts) {
    events.push_back(pinsEvent(kPinsMounts));
    return;
  }
  events.push_back(pinsEvent(kPinsClear));
  for (int i = 0; i < pins.count; ++i) {
    const GridPin& pin = pins.at[static_cast<std::size_t>(i)];
    events.push_back(pinsEvent(kPinsAdd, pin.column, pin.row));
  }
}

}  // namespace

std::vector<SceneFile> listSceneFiles(std::initializer_list<const char*> dirs) {
  std::vector<SceneFile> files;
  bool first = true;
  for (const char* dir : dirs) {
    std::error_code error;
    std::vector<SceneFile> here;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (entry.path().extension() == ".toml") {
        const std::string name = entry.path().filename().string();
        here.push_back({entry.path().string(), first ? name : name + "  (" + dir + ")"});
      }
    }
    std::sort(here.begin(), here.end(),
              [](const SceneFile& a, const SceneFile& b) { return a.path < b.path; });
    files.insert(files.end(), here.begin(), here.end());
    first = first && here.empty();
  }
  return files;
}

// One pass may find a change refused that a later one allows (a stiffer cloth once the step is
// shorter): passes go on while any change is taken.
std::vector<Event> sceneEvents(const Scene& from, const Scene& to) {
  const std::span<const Param> params = sceneParams();
  std::vector<Event> events;
  std::vector<bool> done(params.size(), false);
  Scene at = from;
  for (bool progress = true; progress;) {
    progress = false;
    for (std::size_t i = 0; i < params.size(); ++i) {
      const Vec3 value = params[i].get(to);
      if (!done[i] && !sameValue(params[i].get(at), value) && accepted(params[i], value, at)) {
        events.push_back(setEvent(static_cast<int>(i), value));
        done[i] = true;
        progress = true;
      }
    }
  }
  addPins(to.pins, events);
  events.push_back(menuEvent(kMenuRedrop));
  return events;
}

}  // namespace vellumry
