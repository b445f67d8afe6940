#pragma once

#include <cstdint>
#include <string>

#include "output/output_format.h"
#include "output/pending_file.h"
#include "output/video_writer.h"
#include "output/webp_writer.h"

namespace vellumry {

/// The frames of a rendered session in one of the output formats. A file is written under a
/// temporary name and put in place by finish; discard removes whatever was written.
class FrameOutput final {
 public:
  FrameOutput() = default;
  ~FrameOutput();
  FrameOutput(const FrameOutput&) = delete;
  FrameOutput& operator=(const FrameOutput&) = delete;

  /// Makes the directory (PNG frames) or the temporary file and starts the encoder; replace lets
  /// finish overwrite an existing file.
  bool open(OutputFormat format, const std::string& path, int width, int height, bool replace,
            std::string& error);
  /// One frame of RGB pixels, rows bottom first; number names a PNG frame (frame-NNNNNN.png),
  /// one more than the last.
  bool add(std::uint64_t number, const std::uint8_t* pixels, std::string& error);
  bool finish(std::string& error);
  void discard();

 private:
  [[nodiscard]] std::string framePath(std::uint64_t number) const;

  OutputFormat format_ = OutputFormat::kPngFrames;
  std::string path_;
  int width_ = 0;
  int height_ = 0;
  bool replace_ = false;
  bool madeDirectory_ = false;
  std::uint64_t firstFrame_ = 0;  ///< PNG frames firstFrame_ .. lastFrame_ written, if any
  std::uint64_t lastFrame_ = 0;
  PendingFile file_;
  VideoWriter video_;
  WebpWriter webp_;
};

}  // namespace vellumry
