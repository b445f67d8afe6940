#include "output/png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace vellumry {

namespace {

constexpr int kPngLevel = 1;  // fastest zlib level: encoding is the costliest part of a frame

}  // namespace

bool writePng(const std::string& path, int width, int height, const std::uint8_t* pixels,
              std::string& error) {
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
        const_cast<png_bytep>(pixels + static_cast<std::size_t>(height - 1 - y) * width * 3);
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
  if (std::fflush(file.get()) != 0 || std::fclose(file.release()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace vellumry
