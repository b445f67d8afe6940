#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WebPAnimEncoder;

namespace vellumry {

/// An animated, lossy WebP picture of RGB frames, each shown for 1000 / kFramesPerSecond ms,
/// looping for ever. Frames are compressed as they come; the file is written by finish.
class WebpWriter final {
 public:
  WebpWriter() = default;
  ~WebpWriter();
  WebpWriter(const WebpWriter&) = delete;
  WebpWriter& operator=(const WebpWriter&) = delete;

  /// quality: libwebp's lossy quality, 0 to 100.
  bool open(const std::string& path, int width, int height, float quality, std::string& error);
  /// Compresses one frame: width x height RGB pixels, rows bottom first.
  bool addFrame(const std::uint8_t* pixels, std::string& error);
  /// Assembles the animation and writes the file.
  bool finish(std::string& error);
  /// Stops without writing the file.
  void abandon();

 private:
  WebPAnimEncoder* encoder_ = nullptr;
  std::string path_;
  int width_ = 0;
  int height_ = 0;
  float quality_ = 0.0f;
  int frames_ = 0;
};

/// The quality WebP output is written at: small files, the flat colours still clean.
inline constexpr float kWebpQuality = 50.0f;

}  // namespace vellumry
