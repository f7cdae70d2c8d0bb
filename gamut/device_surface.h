// The surface of a device space, sampled for Little CMS: faces on which two channels run
// over a grid while the others stay fixed.  Internal to the gamut library.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

#include "icc_profile.h"

namespace gamut {

struct Face {
  int a, b;
  std::vector<uint16_t> fixed;  // every channel's value; a and b are overwritten
};

// The faces whose chromaticities outline the gamut on the diagram: the six faces of the
// cube for three channels (for CMYK the CMY cube with K at 0), any two colourants together
// with the others off for more.
std::vector<Face> OutlineFaces(cmsColorSpaceSignature space, int channels);

// Every 2-face of the device's N-cube: two channels run, each other one at 0 or at full.
// For three channels, the six faces of the cube.
std::vector<Face> CubeFaces(int channels);

// The interpolation work of `side` x `side` samples on each face: samples times the
// 2^channels corners of a table cell.
uint64_t SurfaceCost(std::size_t faces, int side, int channels);

// `side` x `side` samples on each face, face after face, `a` running slowest: 16-bit
// channel values, interleaved.
std::vector<uint16_t> SampleFaces(const std::vector<Face>& faces, int side, int channels);

// Transforms device samples of `h` (16-bit, interleaved, as SampleFaces gives them) into
// the connection space, relative colorimetric and without optimizing: into CIELAB (D50,
// cmsCIELab) with `lab`, into XYZ (cmsCIEXYZ) without.  `out` holds one value a sample.
// Status::InvalidProfile when Little CMS has no such transform of the profile.
icc::Result TransformSamples(cmsHPROFILE h, const std::vector<uint16_t>& device, bool lab, void* out);

}  // namespace gamut
