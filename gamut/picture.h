// Draws a gamut on the CIE 1931 chromaticity diagram into a square pixel buffer.  Portable
// C++: the Windows layer turns the buffer into a bitmap, the command line into a PNG.
#pragma once

#include <cstdint>
#include <vector>

#include "gamut.h"

namespace gamut {

constexpr int kMinSize = 16;
constexpr int kMaxSize = 1024;
// At this size and below the picture is simplified: flat colours, no reference triangle,
// no dots.
constexpr int kSimpleSize = 48;

// `size` x `size` pixels, rows from the top, each 0xAARRGGBB with straight (not
// premultiplied) alpha; outside the diagram the picture is transparent.  `compare`, when
// given, is drawn as a dashed outline.  False when `size` is outside kMinSize..kMaxSize.
bool Render(const Gamut& gamut, const Gamut* compare, int size, std::vector<uint32_t>* argb);

}  // namespace gamut
