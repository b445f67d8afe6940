#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellumry {

/// An OpenGL context with no window and no display: Mesa's EGL on its surfaceless platform,
/// drawing into a pbuffer of the given size.
class HeadlessContext final {
 public:
  HeadlessContext() = default;
  ~HeadlessContext();
  HeadlessContext(const HeadlessContext&) = delete;
  HeadlessContext& operator=(const HeadlessContext&) = delete;

  /// Creates the context and makes it current; on failure returns false with the reason.
  bool open(int width, int height, std::string& error);

 private:
  void* display_ = nullptr;
  void* surface_ = nullptr;
  void* context_ = nullptr;
};

/// Reads the frame just drawn: rows of RGB bytes, bottom row first, as GL stores them.
void readFrame(int width, int height, std::vector<std::uint8_t>& pixels);
/// Writes bottom-first RGB rows as a PNG file at a fast compression level.
bool writePng(const std::string& path, int width, int height,
              const std::vector<std::uint8_t>& pixels, std::string& error);

/// Runs the replayed session with no window, as fast as it goes, writing every frame to
/// dir/frame-NNNNNN.png. Returns the exit status.
int renderHeadless(const std::string& dir, int width, int height);

}  // namespace vellumry
