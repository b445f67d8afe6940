#include "output/output_format.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace vellumry {

namespace {

// H.264's largest level (6.2) allows frames of 139,264 macroblocks of 16 by 16 pixels.
constexpr long kMaxH264Macroblocks = 139264;

std::string lowerExtension(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot <= base) {  // none, or a hidden name such as ".frames"
    return "";
  }
  std::string ext = name.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

}  // namespace

bool outputFormatFor(const std::string& name, OutputFormat& format, std::string& error) {
  struct stat info {};
  const std::string ext = lowerExtension(name);
  if ((stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) || ext.empty()) {
    format = OutputFormat::kPngFrames;
  } else if (ext == ".mp4") {
    format = OutputFormat::kMp4;
  } else if (ext == ".webm") {
    format = OutputFormat::kWebm;
  } else if (ext == ".webp") {
    format = OutputFormat::kWebp;
  } else {
    error = "--render " + name + ": unknown kind of file '" + ext +
            "'; give a directory, .mp4, .webm or .webp";
    return false;
  }
  return true;
}

bool checkFrameSize(OutputFormat format, int width, int height, std::string& error) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const bool video = format == OutputFormat::kMp4 || format == OutputFormat::kWebm;
  const long macroblocks = static_cast<long>((width + 15) / 16) * ((height + 15) / 16);
  if (video && (width % 2 != 0 || height % 2 != 0)) {
    error = "--size " + size + ": a video's width and height must be even";
  } else if (format == OutputFormat::kMp4 && macroblocks > kMaxH264Macroblocks) {
    error = "--size " + size +
            ": too large for H.264 (at most 139,264 blocks of 16 by 16, e.g. 8192x4352)";
  } else {
    return true;
  }
  return false;
}

bool isObjName(const std::string& name) { return lowerExtension(name) == ".obj"; }

}  // namespace vellumry
