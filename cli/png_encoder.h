// PNG encoding for plot: Debian's libpng natively, the system's imaging component (WIC) on
// Windows.  One implementation is linked into each platform's program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Encodes `width` x `height` pixels, rows from the top, each 0xAARRGGBB with straight
// alpha, as an 8-bit RGBA PNG in *png.  On failure returns false and sets *reason.
bool EncodePng(const std::vector<uint32_t>& argb, int width, int height,
               std::vector<uint8_t>* png, std::string* reason);

}  // namespace cli
