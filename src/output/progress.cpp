#include "output/progress.h"

#include <unistd.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace vellumry {

namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

std::string clock(double seconds) {
  const long long s = std::llround(seconds);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string formatProgress(std::uint64_t done, std::uint64_t total, double seconds) {
  char text[128];
  const std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
  int length =
      std::snprintf(text, sizeof text, "vellumry: %" PRIu64 " of %" PRIu64 " ticks (%" PRIu64 "%%)",
                    done, total, percent);
  std::string line(text, static_cast<std::size_t>(length));
  if (done == 0 || seconds <= 0.0) {
    return line;
  }
  const double rate = static_cast<double>(done) / seconds;
  length = std::snprintf(text, sizeof text, ", %.1f frames/s, ", rate);
  line.append(text, static_cast<std::size_t>(length));
  if (done >= total) {
    return line + "done in " + clock(seconds);
  }
  return line + clock(static_cast<double>(total - done) / rate) + " left";
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void ProgressMeter::start(std::uint64_t total, bool show) {
  show_ = show;
  total_ = total;
  shown_ = 0;
  start_ = std::chrono::steady_clock::now();
  next_ = start_;
}

void ProgressMeter::print(std::uint64_t done) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string line = formatProgress(done, total_, seconds);
  const std::size_t length = line.size();
  if (length < shown_) {
    line.append(shown_ - length, ' ');  // cover what is left of a longer line
  }
  shown_ = length;
  // The cursor goes back to the line's start: a message from elsewhere writes over the line.
  std::fprintf(stderr, "\r%s\r", line.c_str());
  std::fflush(stderr);
}

void ProgressMeter::update(std::uint64_t done) {
  const auto now = std::chrono::steady_clock::now();
  if (!show_ || now < next_) {
    return;
  }
  next_ = now + kInterval;
  print(done);
}

void ProgressMeter::finish(std::uint64_t done) {
  if (show_) {
    print(done);
    std::fputc('\n', stderr);
    shown_ = 0;
    show_ = false;
  }
}

void ProgressMeter::abandon() {
  if (show_ && shown_ > 0) {
    std::fprintf(stderr, "%s\r", std::string(shown_, ' ').c_str());
    std::fflush(stderr);
  }
  shown_ = 0;
  show_ = false;
}

}  // namespace vellumry
