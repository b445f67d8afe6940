#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellumry {

/// An animated, lossy WebP picture of RGB frames, each shown for 1000 / kFramesPerSecond ms,
/// looping for ever. Every frame is a whole picture of its own, so frames are compressed on
/// several threads at once; the file, the same on any number of them, is written by finish.
class WebpWriter final {
 public:
  WebpWriter() = default;
  ~WebpWriter();
  WebpWriter(const WebpWriter&) = delete;
  WebpWriter& operator=(const WebpWriter&) = delete;

  /// quality: libwebp's lossy quality, 0 to 100; threads: frames compressed at once (>= 1).
  bool open(const std::string& path, int width, int height, float quality, int threads,
            std::string& error);
  /// Hands over one frame: width x height RGB pixels, rows bottom first (copied).
  bool addFrame(const std::uint8_t* pixels, std::string& error);
  /// Compresses what is left, assembles the animation and writes the file.
  bool finish(std::string& error);
  /// Stops without writing the file.
  void abandon();

 private:
  void work();
  bool stopWorkers(std::string& error);

  std::string path_;
  int width_ = 0;
  int height_ = 0;
  float quality_ = 0.0f;
  std::mutex mutex_;
  std::condition_variable queued_;                ///< a frame waits, or the workers are to stop
  std::condition_variable freed_;                 ///< a slot came free
  std::vector<std::vector<std::uint8_t>> slots_;  ///< frame i waits in slot i % slots
  std::vector<bool> slotBusy_;
  std::vector<std::vector<std::uint8_t>> encoded_;  ///< each frame's compressed picture
  std::size_t nextToEncode_ = 0;
  bool stopping_ = false;
  std::string error_;  ///< the first failure of a worker
  std::vector<std::thread> workers_;
};

/// The quality WebP output is written at: small files, the flat colours still clean.
inline constexpr float kWebpQuality = 50.0f;

}  // namespace vellumry
