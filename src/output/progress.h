#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vellumry {

/// One line of progress: ticks done of the total, frames a second so far and the time left
/// (or, once done, the time it took), e.g.
/// "vellumry: 120 of 400 ticks (30%), 95.2 frames/s, 0:03 left".
std::string formatProgress(std::uint64_t done, std::uint64_t total, double seconds);

/// Progress of a long job on standard error, rewritten in place a few times a second, when
/// shown at all.
class ProgressMeter final {
 public:
  /// show: whether to report at all (standard error a terminal and no --quiet).
  void start(std::uint64_t total, bool show);
  void update(std::uint64_t done);
  /// The last line, with the whole time taken, and a newline.
  void finish(std::uint64_t done);
  /// Clears the line, so that a message can take its place.
  void abandon();

 private:
  void print(std::uint64_t done);

  bool show_ = false;
  std::uint64_t total_ = 0;
  std::size_t shown_ = 0;  ///< length of the line on screen
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point next_;
};

/// Whether standard error is a terminal.
[[nodiscard]] bool stderrIsTerminal();

}  // namespace vellumry
