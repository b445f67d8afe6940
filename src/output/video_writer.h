#pragma once

#include <cstdint>
#include <string>

#include "output/output_format.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace vellumry {

/// A video file of RGB frames at kFramesPerSecond: H.264 in MP4 or VP9 in WebM, both yuv420p.
class VideoWriter final {
 public:
  VideoWriter() = default;
  ~VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  /// Starts writing path as format (kMp4 or kWebm) with frames of this size (even sides).
  bool open(const std::string& path, OutputFormat format, int width, int height,
            std::string& error);
  /// Encodes one frame: width x height RGB pixels, rows bottom first.
  bool addFrame(const std::uint8_t* pixels, std::string& error);
  /// Encodes what the encoder still holds and completes the file.
  bool finish(std::string& error);
  /// Stops without completing the file.
  void abandon();

 private:
  bool send(const AVFrame* frame, std::string& error);

  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  SwsContext* scale_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::int64_t frames_ = 0;
  bool headerWritten_ = false;
};

}  // namespace vellumry
