#pragma once

#include <cstdint>
#include <string>

namespace vellumry {

/// What a rendered session becomes.
enum class OutputFormat : std::uint8_t {
  kPngFrames,  ///< a directory of frame-NNNNNN.png files
  kMp4,        ///< H.264 video
  kWebm,       ///< VP9 video
  kWebp,       ///< an animated picture
};

/// Frames a second of every video and animation: one per tick.
inline constexpr int kFramesPerSecond = 50;

/// The format a --render name asks for by its extension (.mp4, .webm, .webp; any case). A name
/// with no extension, or an existing directory, is a directory of PNG frames; any other
/// extension is refused with error set.
bool outputFormatFor(const std::string& name, OutputFormat& format, std::string& error);
/// Whether the format's encoder takes frames of this size; if not, error says why.
bool checkFrameSize(OutputFormat format, int width, int height, std::string& error);
/// Whether an --export name ends in ".obj" (any case).
[[nodiscard]] bool isObjName(const std::string& name);

}  // namespace vellumry
