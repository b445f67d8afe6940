#include "output/webp_writer.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "output/output_format.h"

namespace vellumry {

namespace {

constexpr int kFrameMs = 1000 / kFramesPerSecond;
constexpr int kMethod = 4;  // 0 fastest .. 6 smallest

const char* describe(WebPEncodingError code) {
  switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return "the picture's size is out of range";
    default:
      return "the encoder failed";
  }
}

}  // namespace

WebpWriter::~WebpWriter() { abandon(); }

void WebpWriter::abandon() {
  WebPAnimEncoderDelete(encoder_);  // takes null
  encoder_ = nullptr;
}

bool WebpWriter::open(const std::string& path, int width, int height, float quality,
                      std::string& error) {
  abandon();
  WebPAnimEncoderOptions options;
  if (WebPAnimEncoderOptionsInit(&options) == 0) {
    error = "libwebp version mismatch";
    return false;
  }
  options.anim_params.loop_count = 0;
  options.anim_params.bgcolor = 0xff000000;  // opaque black, the clear colour
  // Every frame whole: lossy frames drawn over earlier ones leave trails of dark blocks behind a
  // moving cloth, and here they are not even smaller.
  options.kmin = 0;
  options.kmax = 1;
  encoder_ = WebPAnimEncoderNew(width, height, &options);
  if (encoder_ == nullptr) {
    error = "cannot start the WebP encoder";
    return false;
  }
  path_ = path;
  width_ = width;
  height_ = height;
  quality_ = quality;
  frames_ = 0;
  return true;
}

bool WebpWriter::addFrame(const std::uint8_t* pixels, std::string& error) {
  WebPConfig config;
  WebPPicture picture;
  if (WebPConfigInit(&config) == 0 || WebPPictureInit(&picture) == 0) {
    error = "libwebp version mismatch";
    return false;
  }
  config.quality = quality_;
  config.method = kMethod;
  picture.width = width_;
  picture.height = height_;
  picture.use_argb = 1;
  // GL's rows run bottom up: start at the last row and step backwards.
  const int stride = 3 * width_;
  const bool imported =
      WebPPictureImportRGB(&picture, pixels + static_cast<std::size_t>(height_ - 1) * stride,
                           -stride) != 0;
  const bool added =
      imported && WebPAnimEncoderAdd(encoder_, &picture, frames_ * kFrameMs, &config) != 0;
  const WebPEncodingError code = picture.error_code;
  WebPPictureFree(&picture);
  if (!added) {
    const char* reason = WebPAnimEncoderGetError(encoder_);
    error = imported ? (reason != nullptr && *reason != '\0' ? reason : describe(code))
                     : "out of memory";
    return false;
  }
  ++frames_;
  return true;
}

bool WebpWriter::finish(std::string& error) {
  WebPData data;
  WebPDataInit(&data);
  // The last frame lasts as long as the others: the animation ends one frame after it.
  if (encoder_ == nullptr ||
      WebPAnimEncoderAdd(encoder_, nullptr, frames_ * kFrameMs, nullptr) == 0 ||
      WebPAnimEncoderAssemble(encoder_, &data) == 0) {
    error = encoder_ == nullptr ? "no picture open" : WebPAnimEncoderGetError(encoder_);
    abandon();
    return false;
  }
  abandon();
  std::FILE* file = std::fopen(path_.c_str(), "wb");
  bool ok = file != nullptr && std::fwrite(data.bytes, 1, data.size, file) == data.size;
  ok = file != nullptr && std::fclose(file) == 0 && ok;
  if (!ok) {
    error = std::strerror(errno);
  }
  WebPDataClear(&data);
  return ok;
}

}  // namespace vellumry
