#include "output/webp_writer.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "output/output_format.h"

namespace vellumry {

namespace {

constexpr int kFrameMs = 1000 / kFramesPerSecond;
constexpr int kMethod = 4;          // 0 fastest .. 6 smallest
constexpr int kSlotsPerThread = 2;  // frames waiting for each worker

const char* describe(WebPEncodingError code) {
  switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return "the picture's size is out of range";
    default:
      return "the WebP encoder failed";
  }
}

// One frame as a still lossy picture. Whole frames: lossy frames drawn over earlier ones, as
// an animation may, leave trails of dark blocks behind a moving cloth, and are no smaller here.
bool encode(const std::uint8_t* pixels, int width, int height, float quality,
            std::vector<std::uint8_t>& out, std::string& error) {
  WebPConfig config;
  WebPPicture picture;
  if (WebPConfigInit(&config) == 0 || WebPPictureInit(&picture) == 0) {
    error = "libwebp version mismatch";
    return false;
  }
  config.quality = quality;
  config.method = kMethod;
  picture.width = width;
  picture.height = height;
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  // GL's rows run bottom up: start at the last row and step backwards.
  const int stride = 3 * width;
  const bool ok =
      WebPPictureImportRGB(&picture, pixels + static_cast<std::size_t>(height - 1) * stride,
                           -stride) != 0 &&
      WebPEncode(&config, &picture) != 0;
  if (ok) {
    out.assign(writer.mem, writer.mem + writer.size);
  } else {
    error = describe(picture.error_code);
  }
  WebPPictureFree(&picture);
  WebPMemoryWriterClear(&writer);
  return ok;
}

bool writeFile(const std::string& path, const WebPData& data, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr && std::fwrite(data.bytes, 1, data.size, file) == data.size;
  ok = file != nullptr && std::fclose(file) == 0 && ok;
  if (!ok) {
    error = std::strerror(errno);
  }
  return ok;
}

}  // namespace

WebpWriter::~WebpWriter() { abandon(); }

bool WebpWriter::open(const std::string& path, int width, int height, float quality, int threads,
                      std::string& error) {
  abandon();
  path_ = path;
  width_ = width;
  height_ = height;
  quality_ = quality;
  const auto slots = static_cast<std::size_t>(threads) * kSlotsPerThread;
  slots_.assign(slots, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3));
  slotBusy_.assign(slots, false);
  encoded_.clear();
  nextToEncode_ = 0;
  stopping_ = false;
  error_.clear();
  try {
    for (int i = 0; i < threads; ++i) {
      workers_.emplace_back(&WebpWriter::work, this);
    }
  } catch (const std::system_error& e) {
    error = std::string("cannot start the encoder's threads: ") + e.what();
    abandon();
    return false;
  }
  return true;
}

void WebpWriter::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || nextToEncode_ < encoded_.size(); });
    if (nextToEncode_ == encoded_.size()) {
      return;  // stopping, nothing left
    }
    const std::size_t frame = nextToEncode_++;
    const std::size_t slot = frame % slots_.size();
    std::vector<std::uint8_t> out;
    std::string error;
    lock.unlock();
    const bool ok = encode(slots_[slot].data(), width_, height_, quality_, out, error);
    lock.lock();
    encoded_[frame] = std::move(out);
    if (!ok && error_.empty()) {
      error_ = error;
    }
    slotBusy_[slot] = false;
    freed_.notify_all();
  }
}

bool WebpWriter::addFrame(const std::uint8_t* pixels, std::string& error) {
  std::unique_lock lock(mutex_);
  if (workers_.empty()) {
    error = "no picture open";
    return false;
  }
  const std::size_t slot = encoded_.size() % slots_.size();
  freed_.wait(lock, [this, slot] { return !slotBusy_[slot]; });
  if (!error_.empty()) {
    error = error_;
    return false;
  }
  lock.unlock();  // the slot is this thread's until marked busy
  std::memcpy(slots_[slot].data(), pixels, slots_[slot].size());
  lock.lock();
  slotBusy_[slot] = true;
  encoded_.emplace_back();
  queued_.notify_one();
  return true;
}

bool WebpWriter::stopWorkers(std::string& error) {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& worker : workers_) {
    worker.join();
  }
  workers_.clear();
  error = error_;
  return error_.empty();
}

bool WebpWriter::finish(std::string& error) {
  if (workers_.empty()) {
    error = "no picture open";
    return false;
  }
  if (!stopWorkers(error)) {
    return false;
  }
  WebPMux* mux = WebPMuxNew();
  WebPMuxAnimParams animation = {0xff000000, 0};  // opaque black like the clear colour; loop
  bool ok = mux != nullptr && WebPMuxSetCanvasSize(mux, width_, height_) == WEBP_MUX_OK &&
            WebPMuxSetAnimationParams(mux, &animation) == WEBP_MUX_OK;
  for (std::size_t i = 0; ok && i < encoded_.size(); ++i) {
    WebPMuxFrameInfo frame{};
    frame.bitstream = {encoded_[i].data(), encoded_[i].size()};
    frame.duration = kFrameMs;
    frame.id = WEBP_CHUNK_ANMF;
    frame.dispose_method = WEBP_MUX_DISPOSE_NONE;
    frame.blend_method = WEBP_MUX_NO_BLEND;
    ok = WebPMuxPushFrame(mux, &frame, 0) == WEBP_MUX_OK;
  }
  WebPData data;
  WebPDataInit(&data);
  ok = ok && WebPMuxAssemble(mux, &data) == WEBP_MUX_OK;
  WebPMuxDelete(mux);
  if (!ok) {
    error = "cannot assemble the animation";
  }
  ok = ok && writeFile(path_, data, error);
  WebPDataClear(&data);
  encoded_.clear();
  return ok;
}

void WebpWriter::abandon() {
  std::string ignored;
  stopWorkers(ignored);
  encoded_.clear();
}

}  // namespace vellumry
