#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellumry {

struct Options;

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

/// Checks what --render and --export name before any work: a known kind of output, a size its
/// encoder takes, nothing overwritten without --force. Returns 0, or 2 after a one-line message.
int checkHeadlessOutputs(const Options& options);
/// Runs the replayed session with no window, as fast as it goes, writing every frame (one per
/// tick) to what --render names, and the cloth to what --export names; shows progress on a
/// terminal. Nothing is left behind by a run that fails. Returns the exit status.
int runHeadless(const Options& options);

}  // namespace vellumry
