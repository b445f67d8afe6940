#include "app/snapshot.h"

#include <GL/gl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/viewer.h"
#include "output/pending_file.h"
#include "output/png_writer.h"

namespace vellumry {

namespace {

constexpr int kMaxSuffix = 1000;

void (*present)() = nullptr;  // the presenter's own, while a snapshot is due

// A name not taken yet: vellumry-2026-12-07-223015.png, then ...-223015-2.png and so on.
bool freeName(std::string& name, std::string& error) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "vellumry-%Y-%m-%d-%H%M%S", &local);
  for (int i = 1; i <= kMaxSuffix; ++i) {
    name = std::string(stamp) + (i == 1 ? "" : "-" + std::to_string(i)) + ".png";
    bool exists = false;
    if (mayWrite(name, false, exists, error)) {
      return true;
    }
  }
  return false;
}

void save() {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int width = viewport[2];
  const int height = viewport[3];
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  glReadBuffer(GL_BACK);  // the frame just drawn, before the swap shows it
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  std::string name;
  std::string error;
  PendingFile file;
  if (!freeName(name, error) || !createPending(name, file, error) ||
      !writePng(file.temp, width, height, pixels.data(), error) ||
      !commitPending(file, false, error)) {
    discardPending(file);
    std::fprintf(stderr, "vellumry: cannot save the picture %s: %s\n", name.c_str(), error.c_str());
    return;
  }
  char dir[4096];
  std::string path = name;
  if (getcwd(dir, sizeof dir) != nullptr) {
    path = std::string(dir) + (std::string(dir) == "/" ? "" : "/") + name;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);
}

void saveThenPresent() {
  presenter.present = present;
  present = nullptr;
  save();
  presenter.present();
}

}  // namespace

void requestSnapshot() {
  if (present == nullptr) {
    present = presenter.present;
    presenter.present = saveThenPresent;
  }
}

}  // namespace vellumry
