#include "app/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string_view>

#include "app/command_line.h"
#include "app/session_run.h"
#include "app/viewer.h"
#include "app/world_draw.h"
#include "output/downsample.h"
#include "output/frame_output.h"
#include "output/mesh_export.h"
#include "output/output_format.h"
#include "output/pending_file.h"
#include "output/progress.h"

namespace vellumry {

namespace {

constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;

// What the headless run writes, reached from the presenter between frames.
struct Job {
  bool render = false;
  OutputFormat format = OutputFormat::kPngFrames;
  FrameOutput frames;
  int width = 0;
  int height = 0;
  int factor = 1;  ///< drawn factor times larger on each side, then shrunk: supersampling
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint8_t> large;  ///< the frame as drawn, when supersampled
  bool exporting = false;
  MeshExport mesh;
  std::vector<float> positions;
  std::vector<float> normals;
  std::string error;  ///< the first failure, "path: reason"
  bool failed = false;
};

Job job;

void saveFrame() {
  if (job.failed) {
    return;
  }
  if (job.factor > 1) {
    readFrame(job.factor * job.width, job.factor * job.height, job.large);
    downsample(job.large.data(), job.factor, job.width, job.height, job.pixels.data());
  } else {
    readFrame(job.width, job.height, job.pixels);
  }
  job.failed = !job.frames.add(tickCount + 1, job.pixels.data(), job.error);
}

// The ball, the floor and the solid as drawn.
WorldFrame worldFrame() {
  const World& world = scene.world;
  WorldFrame frame;
  frame.ball = world.ball.enabled;
  frame.centre[0] = world.ball.centre.x;
  frame.centre[1] = world.ball.centre.y;
  frame.centre[2] = world.ball.centre.z;
  frame.radius = world.ball.radius;
  frame.floor = world.floor.enabled;
  frame.floorHeight = world.floor.height;
  frame.floorCentre = 0.5 * cloth.width;
  frame.floorHalfSize = kFloorHalfSize;
  if (collider.hasSolid()) {
    frame.solidPoints = &collider.solidPoints();
    frame.solidTriangles = &collider.solidTriangles();
  }
  return frame;
}

// The cloth as drawn this tick, rounded to float.
void exportFrame() {
  if (job.failed) {
    return;
  }
  const int n = cloth.gridSize;
  const auto count = static_cast<std::size_t>(n) * n;
  job.positions.resize(3 * count);
  for (std::size_t j = 0; j < count; ++j) {
    const Vec3& p = cloth.particles[j].position;
    job.positions[3 * j] = static_cast<float>(p.x);
    job.positions[3 * j + 1] = static_cast<float>(p.y);
    job.positions[3 * j + 2] = static_cast<float>(p.z);
  }
  if (job.mesh.startsPair(n)) {
    cloth.computeNormals();
    job.normals.resize(3 * count);
    for (std::size_t j = 0; j < count; ++j) {
      const Vec3& v = cloth.normals[j];
      job.normals[3 * j] = static_cast<float>(v.x);
      job.normals[3 * j + 1] = static_cast<float>(v.y);
      job.normals[3 * j + 2] = static_cast<float>(v.z);
    }
  }
  job.failed =
      !job.mesh.addFrame(n, tickCount, job.positions, job.normals, job.error, worldFrame());
}

void noFullScreen() {}
void noReshapeWindow(int /*width*/, int /*height*/) {}

int usage(const std::string& message) {
  std::fprintf(stderr, "vellumry: %s\n", message.c_str());
  return kStatusUsage;
}

// A file that exists may be replaced only with --force.
int checkNewFile(const char* option, const std::string& path, bool force) {
  bool exists = false;
  std::string error;
  return mayWrite(path, force, exists, error)
             ? 0
             : usage(std::string(option) + " " + path + ": " + error);
}

// frame-NNNNNN.png, as a render to a directory names its frames.
bool isFrameName(std::string_view name) {
  constexpr std::string_view kStart = "frame-";
  constexpr std::string_view kEnd = ".png";
  if (name.size() < kStart.size() + 6 + kEnd.size() || !name.starts_with(kStart) ||
      !name.ends_with(kEnd)) {
    return false;
  }
  const std::string_view number =
      name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size());
  return std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The frames of an earlier render in the directory are replaced only with --force.
int checkFrameDirectory(const std::string& dir, bool force) {
  const std::unique_ptr<DIR, int (*)(DIR*)> entries(force ? nullptr : opendir(dir.c_str()),
                                                    closedir);
  for (const dirent* e = entries ? readdir(entries.get()) : nullptr; e != nullptr;
       e = readdir(entries.get())) {
    if (isFrameName(e->d_name)) {
      return usage("--render " + dir + ": it holds " + e->d_name + " (--force overwrites it)");
    }
  }
  return 0;
}

int failedRun(ProgressMeter& progress) {
  progress.abandon();
  job.frames.discard();
  job.mesh.discard();
  std::fprintf(stderr, "vellumry: cannot write %s\n", job.error.c_str());
  return kStatusFailed;
}

bool openOutputs(const Options& options) {
  job.render = !options.renderOut.empty();
  job.exporting = !options.exportPath.empty();
  job.width = options.width;
  job.height = options.height;
  const bool smooth = options.antialias == 1 || (options.antialias < 0 && !isDefaultScene(scene));
  job.factor = smooth && std::max(job.width, job.height) <= kMaxSupersampledSide ? kSupersample : 1;
  job.pixels.resize(static_cast<std::size_t>(job.width) * job.height * 3);
  job.failed = false;
  job.error.clear();
  if (job.render) {
    outputFormatFor(options.renderOut, job.format, job.error);  // checked before
    job.failed = !job.frames.open(job.format, options.renderOut, job.width, job.height,
                                  options.force, job.error);
  }
  if (!job.failed && job.exporting) {
    job.failed = !job.mesh.open(options.exportPath, options.force, job.error);
    if (job.failed) {
      job.frames.discard();
    }
  }
  return !job.failed;
}

}  // namespace

HeadlessContext::~HeadlessContext() {
  if (display_ != nullptr) {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != nullptr) {
      eglDestroyContext(display_, context_);
    }
    if (surface_ != nullptr) {
      eglDestroySurface(display_, surface_);
    }
    eglTerminate(display_);
  }
}

bool HeadlessContext::open(int width, int height, std::string& error) {
  display_ = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display_ == EGL_NO_DISPLAY || eglInitialize(display_, nullptr, nullptr) != EGL_TRUE) {
    display_ = nullptr;
    error = "no EGL display on the surfaceless platform";
    return false;
  }
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                     EGL_PBUFFER_BIT,
                                     EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,
                                     EGL_RED_SIZE,
                                     8,
                                     EGL_GREEN_SIZE,
                                     8,
                                     EGL_BLUE_SIZE,
                                     8,
                                     EGL_DEPTH_SIZE,
                                     24,
                                     EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE ||
      eglChooseConfig(display_, configAttributes, &config, 1, &count) != EGL_TRUE || count < 1) {
    error = "no EGL configuration for desktop OpenGL in a pbuffer";
    return false;
  }
  const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  surface_ = eglCreatePbufferSurface(display_, config, surfaceAttributes);
  context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
  if (surface_ == EGL_NO_SURFACE || context_ == EGL_NO_CONTEXT ||
      eglMakeCurrent(display_, surface_, surface_, context_) != EGL_TRUE) {
    error = "cannot make an OpenGL context current";
    return false;
  }
  return true;
}

void readFrame(int width, int height, std::vector<std::uint8_t>& pixels) {
  pixels.resize(static_cast<std::size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
}

int checkHeadlessOutputs(const Options& options) {
  std::string error;
  if (!options.renderOut.empty()) {
    OutputFormat format = OutputFormat::kPngFrames;
    if (!outputFormatFor(options.renderOut, format, error) ||
        !checkFrameSize(format, options.width, options.height, error)) {
      return usage(error);
    }
    const int status = format == OutputFormat::kPngFrames
                           ? checkFrameDirectory(options.renderOut, options.force)
                           : checkNewFile("--render", options.renderOut, options.force);
    if (status != 0) {
      return status;
    }
  }
  if (!options.exportPath.empty()) {
    if (!isObjName(options.exportPath)) {
      return usage("--export " + options.exportPath + ": the name must end in .obj");
    }
    for (const char* extension : {".obj", ".pc2", "-ball.pc2"}) {
      const std::string path = MeshExport::pairName(options.exportPath, 1, extension);
      if (const int status = checkNewFile("--export", path, options.force)) {
        return status;
      }
    }
  }
  return 0;
}

int runHeadless(const Options& options) {
  const std::uint64_t total = replayLength();
  if (total == 0) {
    return usage(options.replayPath + ": the session has no ticks to render or export");
  }
  ProgressMeter progress;
  removePendingOnSignal();
  if (!openOutputs(options)) {
    return failedRun(progress);
  }
  HeadlessContext context;
  if (job.render) {
    std::string error;
    if (!context.open(job.factor * job.width, job.factor * job.height, error)) {
      job.frames.discard();
      job.mesh.discard();
      std::fprintf(stderr, "vellumry: cannot render without a window: %s\n", error.c_str());
      return kStatusFailed;
    }
    initGlState();
  }
  presenter = {saveFrame, noFullScreen, noReshapeWindow};
  substeps = substepsFor(scene);
  dropCloth();
  if (job.render) {
    reshape(job.factor * job.width, job.factor * job.height);
    if (job.factor > 1) {
      glLineWidth(static_cast<GLfloat>(job.factor));  // lines as wide as in a frame drawn plainly
    }
  }
  progress.start(total, !options.quiet && stderrIsTerminal());
  while (!job.failed && beforeTick()) {
    stepTick();
    if (job.render) {
      display();
    }
    if (job.exporting) {
      exportFrame();
    }
    finishTick();
    afterTick();
    progress.update(tickCount);
  }
  if (job.failed) {
    finishSession();
    return failedRun(progress);
  }
  if (tickCount == total) {
    progress.finish(tickCount);
  } else {
    progress.abandon();  // stopped at a mismatch, reported in the line's place
  }
  if (const int status = finishSession(); status != 0) {
    job.frames.discard();  // a session that differs from its recording leaves nothing behind
    job.mesh.discard();
    return status;
  }
  job.failed = (job.render && !job.frames.finish(job.error)) ||
               (job.exporting && !job.mesh.finish(job.error));
  return job.failed ? failedRun(progress) : 0;
}

}  // namespace vellumry
