#include "output/frame_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>

#include "output/png_writer.h"

namespace vellumry {

namespace {

bool makeDirectory(const std::string& dir, bool& made, std::string& error) {
  made = mkdir(dir.c_str(), 0777) == 0;
  if (made || errno == EEXIST) {
    struct stat info {};
    if (stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      return true;
    }
    errno = ENOTDIR;
  }
  error = dir + ": cannot make the directory: " + std::strerror(errno);
  return false;
}

// WebP frames are compressed one per core at once.
int encoderThreads() { return static_cast<int>(std::max(1U, std::thread::hardware_concurrency())); }

}  // namespace

FrameOutput::~FrameOutput() { discard(); }

std::string FrameOutput::framePath(std::uint64_t number) const {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06" PRIu64 ".png", number);
  return path_ + name;
}

bool FrameOutput::open(OutputFormat format, const std::string& path, int width, int height,
                       bool replace, std::string& error) {
  discard();
  format_ = format;
  path_ = path;
  width_ = width;
  height_ = height;
  replace_ = replace;
  if (format == OutputFormat::kPngFrames) {
    return makeDirectory(path, madeDirectory_, error);
  }
  const bool ok =
      createPending(path, file_, error) &&
      (format == OutputFormat::kWebp
           ? webp_.open(file_.temp, width, height, kWebpQuality, encoderThreads(), error)
           : video_.open(file_.temp, format, width, height, error));
  if (!ok) {
    error = path + ": " + error;
    discard();
  }
  return ok;
}

bool FrameOutput::add(std::uint64_t number, const std::uint8_t* pixels, std::string& error) {
  bool ok = false;
  if (format_ == OutputFormat::kPngFrames) {
    firstFrame_ = lastFrame_ == 0 ? number : firstFrame_;
    lastFrame_ = number;
    ok = writePng(framePath(number), width_, height_, pixels, error);
  } else {
    ok = format_ == OutputFormat::kWebp ? webp_.addFrame(pixels, error)
                                        : video_.addFrame(pixels, error);
  }
  if (!ok) {
    error = (format_ == OutputFormat::kPngFrames ? framePath(number) : path_) + ": " + error;
  }
  return ok;
}

bool FrameOutput::finish(std::string& error) {
  bool ok = true;
  if (format_ == OutputFormat::kWebp) {
    ok = webp_.finish(error);
  } else if (format_ != OutputFormat::kPngFrames) {
    ok = video_.finish(error);
  }
  ok = ok && (format_ == OutputFormat::kPngFrames || commitPending(file_, replace_, error));
  if (!ok) {
    error = path_ + ": " + error;
    discard();
    return false;
  }
  lastFrame_ = 0;
  madeDirectory_ = false;
  return true;
}

void FrameOutput::discard() {
  video_.abandon();
  webp_.abandon();
  discardPending(file_);
  for (std::uint64_t n = firstFrame_; lastFrame_ != 0 && n <= lastFrame_; ++n) {
    unlink(framePath(n).c_str());
  }
  lastFrame_ = 0;
  if (madeDirectory_) {
    rmdir(path_.c_str());  // only if nothing else went in meanwhile
    madeDirectory_ = false;
  }
}

}  // namespace vellumry
