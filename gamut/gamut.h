// The gamut of a profile on the CIE 1931 chromaticity diagram, computed with Little CMS.
// Portable C++: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "icc_profile.h"

namespace gamut {

// A CIE 1931 xy chromaticity.
struct Point {
  double x, y;
};

enum class Kind {
  Matrix,        // matrix/TRC RGB: the triangle of the primaries
  Lut,           // device profile with lookup tables: the outline of the sampled surface
  Gray,          // the white point and a neutral ramp
  NamedColours,  // one dot per colour
  Neutral,       // abstract, device link, Lab or XYZ data: no gamut, only a name
};

struct NamedColour {
  Point xy;
  uint32_t rgb;  // 0xRRGGBB, the colour in sRGB for drawing its dot
};

struct Gamut {
  Kind kind = Kind::Neutral;
  uint32_t device_class = 0;
  uint32_t colour_space = 0;
  std::vector<Point> outline;  // closed polygon (Matrix, Lut), counter-clockwise
  std::vector<Point> primaries;  // Matrix: red, green, blue
  Point white{0, 0};           // where the media white lies (all but Neutral)
  std::vector<NamedColour> colours;
  std::vector<uint8_t> ramp;   // Gray: grey levels in sRGB from device black to white
  const char* label = "";      // Neutral: what the picture names
  const char* short_label = "";  // the same for small pictures
};

// Diagram chromaticities are absolute: the connection space's D50 values are taken back to
// the profile's own white through the inverse of its chromatic adaptation (`chad`), or with
// Bradford towards its media white point.  The white point lands where the device's white
// does.

// What one computation may cost, so that no profile makes it slow or big: the size of any
// tag Little CMS reads, the memory Little CMS holds at once, and the interpolation work of a
// lookup-table outline (samples times the 2^channels corners of a table cell).
struct Limits {
  uint32_t tag_bytes = 8u << 20;  // Little CMS holds a table three or four times
  std::size_t memory = 40u << 20;
  uint64_t interpolation = uint64_t(1) << 22;
};

// Computes the gamut of `profile`.  Little CMS reads the profile through the container.
// Status::InvalidProfile when Little CMS refuses the profile or its data give no picture
// (Status::Version5 for a version 5 profile);
// Status::OutOfMemory when it would cost more than `limits` allow.
icc::Result ComputeGamut(icc::Profile& profile, Gamut* out, const Limits& limits = Limits());

// The spectral locus of the CIE 1931 2-degree observer, 380 to 700 nm in 5 nm steps.
const std::vector<Point>& SpectralLocus();
// The sRGB primaries, red, green, blue.
std::vector<Point> SrgbTriangle();

}  // namespace gamut
