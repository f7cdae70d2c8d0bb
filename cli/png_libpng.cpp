// PNG through libpng's simplified interface, into memory.
#include <png.h>

#include "png_encoder.h"

namespace cli {

bool EncodePng(const std::vector<uint32_t>& argb, int width, int height,
               std::vector<uint8_t>* png, std::string* reason) {
  std::vector<uint8_t> rgba(argb.size() * 4);
  for (std::size_t i = 0; i < argb.size(); ++i) {
    const uint32_t v = argb[i];
    uint8_t* p = &rgba[i * 4];
    p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v), p[3] = uint8_t(v >> 24);
  }
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) {
    png->resize(size);
    if (png_image_write_to_memory(&image, png->data(), &size, 0, rgba.data(), 0, nullptr)) {
      png->resize(size);
      return true;
    }
  }
  *reason = std::string("the PNG could not be made: ") + image.message;
  png_image_free(&image);
  return false;
}

}  // namespace cli
