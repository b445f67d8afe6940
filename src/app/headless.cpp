#include "app/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/session_run.h"
#include "app/viewer.h"

namespace vellumry {

namespace {

constexpr int kStatusFailed = 1;
constexpr int kPngLevel = 1;  // fastest zlib level: encoding is the costliest part of a frame

// What the headless presenter needs between frames.
struct Output {
  std::string dir;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
  bool failed = false;
};

Output output;

void saveFrame() {
  if (output.failed) {
    return;
  }
  readFrame(output.width, output.height, output.pixels);
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06" PRIu64 ".png", tickCount + 1);
  std::string error;
  if (!writePng(output.dir + name, output.width, output.height, output.pixels, error)) {
    std::fprintf(stderr, "vellumry: %s%s: %s\n", output.dir.c_str(), name, error.c_str());
    output.failed = true;
  }
}

void noFullScreen() {}
void noReshapeWindow(int /*width*/, int /*height*/) {}

bool makeDirectory(const std::string& dir) {
  if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) {
    struct stat info {};
    if (stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      return true;
    }
    errno = ENOTDIR;
  }
  std::fprintf(stderr, "vellumry: cannot make directory %s: %s\n", dir.c_str(),
               std::strerror(errno));
  return false;
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

bool writePng(const std::string& path, int width, int height,
              const std::vector<std::uint8_t>& pixels, std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {  // GL's rows run bottom up, a PNG's top down
    rows[static_cast<std::size_t>(y)] =
        const_cast<png_bytep>(pixels.data() + static_cast<std::size_t>(height - 1 - y) * width * 3);
  }
  // libpng reports errors by longjmp: nothing here owns anything that needs unwinding.
  if (setjmp(png_jmpbuf(png)) != 0) {  // NOLINT(cert-err52-cpp)
    png_destroy_write_struct(&png, &info);
    error = "PNG encoding or writing failed";
    return false;
  }
  png_init_io(png, file.get());
  png_set_compression_level(png, kPngLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);  // flat colours: filters gain little
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

int renderHeadless(const std::string& dir, int width, int height) {
  if (!makeDirectory(dir)) {
    return kStatusFailed;
  }
  HeadlessContext context;
  std::string error;
  if (!context.open(width, height, error)) {
    std::fprintf(stderr, "vellumry: cannot render without a window: %s\n", error.c_str());
    return kStatusFailed;
  }
  output = {dir, width, height, {}, false};
  presenter = {saveFrame, noFullScreen, noReshapeWindow};
  initGlState();
  substeps = substepsFor(scene);
  dropCloth();
  reshape(width, height);
  while (!output.failed && beforeTick()) {
    runTick();
    afterTick();
  }
  const int status = finishSession();
  return output.failed ? kStatusFailed : status;
}

}  // namespace vellumry
