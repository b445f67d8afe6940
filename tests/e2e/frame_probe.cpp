// A frame probe loaded with LD_PRELOAD into a GLUT program (vellumry itself, or the bare
// clear-and-swap loop of the frame-rate benchmark). It watches the program from outside, so the
// program needs no option or output of its own for it:
//
//  - glutTimerFunc is wrapped so that every firing of the timer callback is one frame ("tick");
//  - glutSwapBuffers is wrapped to time the buffer swap inside a tick.
//
// Environment:
//  VELLUMRY_PROBE_OUT    file that figures are appended to (nothing happens without it)
//  VELLUMRY_PROBE_MARKS  ascending frame numbers, comma-separated: after each of those frames a
//                        line "frame <n> rss_kb <VmRSS> anon_kb <RssAnon> file_kb <RssFile>
//                        shmem_kb <RssShmem>" is appended
//  VELLUMRY_PROBE_STATS  a frame count N: after frame N a line with the frame rate and the medians
//                        of the tick's own work (swap excluded), of the swap and of the whole tick
//                        over frames 2..N is appended
//  VELLUMRY_PROBE_FRAMES file that holds the number of frames completed, as "<n>\n": replaced
//                        after every frame (written beside it as <file>.tmp, then renamed over it,
//                        so a reader always sees a whole number); absent until frame 1 ends. It is
//                        replaced after the frame's lines above are appended, so once it reads n,
//                        the lines of frames up to n are in VELLUMRY_PROBE_OUT.
//
// Either VELLUMRY_PROBE_OUT or VELLUMRY_PROBE_FRAMES switches the probe on; without both it only
// passes the calls through.
//
// Nothing here allocates, and nothing touches new memory per frame unless statistics are asked
// for (then one fixed array entry per frame up to N), so a resident-memory comparison between two
// frames sees the program's own behaviour.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

using TimerCallback = void (*)(int);
using TimerFunc = void (*)(unsigned int, TimerCallback, int);
using SwapFunc = void (*)();

constexpr int kMaxMarks = 256;
constexpr int kMaxStatFrames = 20000;

const char* outPath = nullptr;
const char* framesPath = nullptr;
char framesTempPath[4096];
long marks[kMaxMarks];
int markCount = 0;
int nextMark = 0;
long statFrames = 0;

long frame = 0;  // ticks completed
bool inTick = false;
double swapSeconds = 0.0;  // swap time within the current tick
double firstFrameEnd = 0.0;

double workMs[kMaxStatFrames];
double swapMs[kMaxStatFrames];
double tickMs[kMaxStatFrames];

TimerCallback tickCallback = nullptr;

double now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <typename F>
F nextSymbol(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "frame_probe: %s not found\n", name);
    std::abort();
  }
  return reinterpret_cast<F>(symbol);
}

void appendLine(const char* text) {
  const int fd = open(outPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    return;
  }
  const size_t length = std::strlen(text);
  if (write(fd, text, length) != static_cast<ssize_t>(length)) {
    std::fprintf(stderr, "frame_probe: short write to %s\n", outPath);
  }
  close(fd);
}

// Resident memory in kB from /proc/self/status: the total, then its anonymous, file-backed and
// shared-memory parts.
struct Resident {
  long total = -1;
  long anon = -1;
  long file = -1;
  long shmem = -1;
};

long statusField(const char* status, const char* name) {
  const char* line = std::strstr(status, name);
  return line == nullptr ? -1 : std::strtol(line + std::strlen(name), nullptr, 10);
}

Resident resident() {
  char buffer[8192];
  Resident r;
  const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return r;
  }
  const ssize_t n = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (n <= 0) {
    return r;
  }
  buffer[n] = '\0';
  r.total = statusField(buffer, "\nVmRSS:");
  r.anon = statusField(buffer, "\nRssAnon:");
  r.file = statusField(buffer, "\nRssFile:");
  r.shmem = statusField(buffer, "\nRssShmem:");
  return r;
}

double median(double* values, long count) {
  std::sort(values, values + count);
  return count % 2 == 1 ? values[count / 2] : 0.5 * (values[count / 2 - 1] + values[count / 2]);
}

void writeStats(double end) {
  // Frame 1 carries the renderer's first-use costs; statistics start at frame 2.
  const long count = statFrames - 1;
  const double seconds = end - firstFrameEnd;
  char line[512];
  std::snprintf(line, sizeof line,
                "stats frames %ld seconds %.3f fps %.2f work_median_ms %.4f swap_median_ms %.4f "
                "tick_median_ms %.4f\n",
                count, seconds, count / seconds, median(workMs + 1, count),
                median(swapMs + 1, count), median(tickMs + 1, count));
  appendLine(line);
}

// Replaces the frame counter file: a reader sees the old number or the new one, never a part.
void writeFrameCount() {
  const int fd = open(framesTempPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    return;
  }
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%ld\n", frame);
  const bool written = write(fd, text, length) == length;
  close(fd);
  if (!written || std::rename(framesTempPath, framesPath) != 0) {
    std::fprintf(stderr, "frame_probe: cannot update %s\n", framesPath);
  }
}

void afterFrame(double start, double end) {
  ++frame;
  if (frame == 1) {
    firstFrameEnd = end;
  }
  if (frame <= statFrames && outPath != nullptr) {
    const long i = frame - 1;
    tickMs[i] = (end - start) * 1e3;
    swapMs[i] = swapSeconds * 1e3;
    workMs[i] = tickMs[i] - swapMs[i];
    if (frame == statFrames) {
      writeStats(end);
    }
  }
  if (nextMark < markCount && frame == marks[nextMark] && outPath != nullptr) {
    const Resident r = resident();
    char line[160];
    std::snprintf(line, sizeof line, "frame %ld rss_kb %ld anon_kb %ld file_kb %ld shmem_kb %ld\n",
                  frame, r.total, r.anon, r.file, r.shmem);
    appendLine(line);
    ++nextMark;
  }
  if (framesPath != nullptr) {
    writeFrameCount();
  }
}

void tickTrampoline(int value) {
  const double start = now();
  inTick = true;
  swapSeconds = 0.0;
  tickCallback(value);
  inTick = false;
  afterFrame(start, now());
}

__attribute__((constructor)) void readSettings() {
  outPath = std::getenv("VELLUMRY_PROBE_OUT");
  if (const char* path = std::getenv("VELLUMRY_PROBE_FRAMES"); path != nullptr && *path != '\0') {
    const int n = std::snprintf(framesTempPath, sizeof framesTempPath, "%s.tmp", path);
    if (n > 0 && static_cast<size_t>(n) < sizeof framesTempPath) {
      framesPath = path;
    } else {
      std::fprintf(stderr, "frame_probe: VELLUMRY_PROBE_FRAMES path too long\n");
    }
  }
  if (const char* list = std::getenv("VELLUMRY_PROBE_MARKS")) {
    char* end = nullptr;
    for (const char* p = list; *p != '\0' && markCount < kMaxMarks; p = end) {
      const long value = std::strtol(p, &end, 10);
      if (end == p) {
        break;
      }
      marks[markCount++] = value;
      while (*end == ',' || *end == ' ') {
        ++end;
      }
    }
  }
  if (const char* n = std::getenv("VELLUMRY_PROBE_STATS")) {
    statFrames = std::clamp(std::strtol(n, nullptr, 10), 0L, static_cast<long>(kMaxStatFrames));
    if (statFrames == 1) {
      statFrames = 2;  // a rate needs two frame ends
    }
  }
}

}  // namespace

extern "C" {

// The first timer callback armed is the frame loop; any other passes through untouched.
void glutTimerFunc(unsigned int millis, TimerCallback callback, int value) {
  static const TimerFunc real = nextSymbol<TimerFunc>("glutTimerFunc");
  if ((outPath != nullptr || framesPath != nullptr) &&
      (tickCallback == nullptr || tickCallback == callback)) {
    tickCallback = callback;
    real(millis, tickTrampoline, value);
  } else {
    real(millis, callback, value);
  }
}

void glutSwapBuffers() {
  static const SwapFunc real = nextSymbol<SwapFunc>("glutSwapBuffers");
  if (!inTick) {
    real();
    return;
  }
  const double start = now();
  real();
  swapSeconds += now() - start;
}

}  // extern "C"
