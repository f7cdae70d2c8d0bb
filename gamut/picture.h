// Draws a gamut on the CIE 1931 chromaticity diagram into a square pixel buffer.  Portable
// C++: the Windows layer turns the buffer into a bitmap, the command line into a PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gamut.h"

namespace gamut {

constexpr int kMinSize = 16;
constexpr int kMaxSize = 1024;
// At this size and below the picture is simplified: flat colours, no reference triangle,
// no dots.
constexpr int kSimpleSize = 48;

// What the command line's picture adds to the thumbnail's, from 160 pixels up: axes with
// ticks, wavelengths along the locus and a legend naming what is drawn (UTF-8; the lettering
// shows printable ASCII, and '?' for any other character).
struct Notes {
  std::string name;          // the gamut's profile
  std::string compare_name;  // the dashed outline's, when there is one
};

// `size` x `size` pixels, rows from the top, each 0xAARRGGBB with straight (not
// premultiplied) alpha; outside the diagram the picture is transparent, or white with
// `notes`.  `compare`, when given, is drawn as a dashed outline.  The diagram shows the
// chromaticities around the spectral locus, widened for a gamut that reaches beyond them
// (up to x and y from -0.35 to 1.15); points beyond that are marked in red on the edge
// towards them.  False when `size` is outside kMinSize..kMaxSize.
bool Render(const Gamut& gamut, const Gamut* compare, int size, std::vector<uint32_t>* argb,
            const Notes* notes = nullptr);

// Turns straight alpha into premultiplied alpha (each colour scaled by its pixel's opacity,
// so that no colour exceeds the alpha), as Windows composes 32-bit bitmaps with alpha.
void Premultiply(std::vector<uint32_t>* argb);

}  // namespace gamut
