// libFuzzer target: any bytes as a scene file. A refusal is one line naming the file and the line;
// a scene read whole and in range prints as a file that reads back to the same bits. Either
// broken stops the fuzzer, as a crash or a sanitizer's report does.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "scene/scene_file.h"

namespace {

constexpr std::string_view kName = "fuzz.toml";

std::array<std::uint64_t, 3> bits(const vellumry::Vec3& v) {
  return {std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y),
          std::bit_cast<std::uint64_t>(v.z)};
}

bool samePins(const vellumry::PinList& a, const vellumry::PinList& b) {
  if (a.mounts != b.mounts || a.count != b.count) {
    return false;
  }
  for (int i = 0; !a.mounts && i < a.count; ++i) {
    const auto& p = a.at[static_cast<std::size_t>(i)];
    const auto& q = b.at[static_cast<std::size_t>(i)];
    if (p.column != q.column || p.row != q.row) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellumry;
  Scene scene;
  std::string error;
  if (!readScene({reinterpret_cast<const char*>(data), size}, kName, scene, error)) {
    if (error.rfind(std::string(kName) + ":", 0) != 0 || error.find('\n') != std::string::npos) {
      std::abort();  // a refusal must name the file and its line, in one line
    }
    return 0;
  }
  if (!checkScene(scene, error) || !checkPins(scene, error)) {
    return 0;
  }
  Scene back;
  if (!readScene(formatScene(scene), kName, back, error) || !samePins(scene.pins, back.pins)) {
    std::abort();
  }
  for (const Param& p : sceneParams()) {
    if (bits(p.get(scene)) != bits(p.get(back))) {
      std::abort();  // the printed scene is not the scene
    }
  }
  return 0;
}
