#include "output/png_reader.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vellumry {

namespace {

constexpr std::size_t kSignatureBytes = 8;

// libpng's simplified reader, whose faults come back as a message instead of a longjmp.
struct PngImage {
  png_image image{};
  PngImage() { image.version = PNG_IMAGE_VERSION; }
  ~PngImage() { png_image_free(&image); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
};

bool fail(Image& image, std::string& error, std::string why) {
  image = Image();
  error = std::move(why);
  return false;
}

}  // namespace

bool readPng(const std::string& path, int maxSide, Image& image, std::string& error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    return fail(image, error, std::strerror(errno));
  }
  png_byte signature[kSignatureBytes] = {};
  const std::size_t got = std::fread(signature, 1, kSignatureBytes, file.get());
  if (std::ferror(file.get()) != 0) {
    return fail(image, error, std::strerror(errno));
  }
  if (got < kSignatureBytes || png_sig_cmp(signature, 0, kSignatureBytes) != 0) {
    return fail(image, error, "not a PNG file");
  }
  std::rewind(file.get());
  PngImage png;
  if (png_image_begin_read_from_stdio(&png.image, file.get()) == 0) {
    return fail(image, error, std::string("damaged PNG: ") + png.image.message);
  }
  const auto most = static_cast<png_uint_32>(maxSide);
  if (png.image.width > most || png.image.height > most) {
    return fail(image, error,
                std::to_string(png.image.width) + " by " + std::to_string(png.image.height) +
                    " pixels, more than " + std::to_string(maxSide) + " a side");
  }
  png.image.format = PNG_FORMAT_RGBA;
  image.width = static_cast<int>(png.image.width);
  image.height = static_cast<int>(png.image.height);
  image.rgba.resize(PNG_IMAGE_SIZE(png.image));
  // A negative stride stores the top row last: GL's rows run bottom up.
  const auto stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(png.image));
  if (png_image_finish_read(&png.image, nullptr, image.rgba.data(), stride, nullptr) == 0) {
    return fail(image, error, std::string("damaged PNG: ") + png.image.message);
  }
  return true;
}

}  // namespace vellumry
