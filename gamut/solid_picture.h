// Draws a gamut solid in CIELAB in 3D into a square pixel buffer: the command line's
// `plot --lab`.  Portable C++.
#pragma once

#include <cstdint>
#include <vector>

#include "picture.h"
#include "volume.h"

namespace gamut {

// `size` x `size` pixels, rows from the top, each 0xAARRGGBB with straight alpha, like
// Render's.  The solid is seen from a fixed oblique viewpoint (orthographic, L* up, from
// above the yellow and red side) as an opaque surface in its own colours (clipped to sRGB)
// with a little shading from a fixed light.  `wireframe`, when given, is drawn as a cage of
// rings of constant L* and lines of constant hue over and around it: dark where it is seen,
// faint and dashed where the solid hides it.  With `notes` (from 160 pixels up) the picture
// is white around the solid and adds the L*, a* and b* axes (a* and b* through L* = 50) and
// a legend naming the solid and the wireframe; without, it is transparent around the solid.
// False for an empty solid or a `size` outside kMinSize..kMaxSize.
bool RenderSolid(const Solid& solid, const Solid* wireframe, int size, std::vector<uint32_t>* argb,
                 const Notes* notes = nullptr);

}  // namespace gamut
