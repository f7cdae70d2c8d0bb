// How much colour a profile holds: the volume of its gamut in CIELAB and how much of another
// gamut it covers, computed with Little CMS.  Portable C++: no platform headers.
//
// The gamut is the solid in CIELAB (D50, relative colorimetric) that the device's colours
// fill through the profile's forward transform.  It is not taken to be convex: its surface
// is kept as the distance from a centre inside it along each direction of a fine grid of
// directions (the image of the device space's surface, cast against from the centre), so a
// solid that is star-shaped about its centre is measured as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gamut.h"
#include "icc_profile.h"

namespace gamut {

// The built-in reference gamuts, in the order the command line and the pane list them.
enum class Reference { Srgb, AdobeRgb, DisplayP3, Rec2020 };
constexpr int kReferenceCount = 4;

// "sRGB", "Adobe RGB", "Display P3", "Rec. 2020": the names the command line's JSON keys and
// every surface use.
const char* ReferenceName(Reference reference);
// The reference a short name gives: "sRGB", "AdobeRGB", "P3" or "Rec2020", in any case of
// letters (the command line's --compare names).  False for any other text.
bool ReferenceOfShortName(const std::string& name, Reference* reference);

// A gamut solid in CIELAB.
class Solid {
 public:
  // The volume in cubic CIELAB units (cubic delta E*ab), as ArgyllCMS reports it.
  double volume() const { return volume_; }
  bool empty() const { return radii_.empty(); }

  // Whether a CIELAB colour (L*, a*, b*) lies inside the solid.
  bool Contains(double L, double a, double b) const;

  // The surface as a mesh for drawing: for each of the six faces of the cube map of
  // directions, a grid of (n + 1) x (n + 1) points, where n is *cells (the cube map's cells
  // along a face's edge), the surface towards each corner of the cells.  Point (i, j) of
  // face f is at [(f * (n + 1) + i) * (n + 1) + j]; neighbours in a grid are neighbours on
  // the surface, and the faces share the points along their edges.  Empty for an empty solid.
  struct LabPoint {
    double L, a, b;
  };
  std::vector<LabPoint> Surface(int* cells) const;

 private:
  friend class SolidBuilder;
  double centre_[3] = {50, 0, 0};
  int resolution_ = 0;          // directions per cube-map face edge
  std::vector<float> radii_;    // 6 * resolution_^2 distances from the centre
  double volume_ = 0;
  double low_[3] = {0, 0, 0}, high_[3] = {0, 0, 0};  // a box around the solid

  // The distance from the centre to the surface towards (dx, dy, dz), not all zero.
  float RadiusToward(double dx, double dy, double dz) const;
};

// Why a profile has no solid, beyond a damaged profile: its kind has no forward transform
// of device colours into CIELAB that fills a volume.
enum class NoSolid {
  None,
  Gray,          // one channel: a line, not a solid
  NamedColours,  // a list of colours
  DeviceLink,    // device to device, no connection space
  Abstract,      // connection space to connection space
  TwoChannels,   // two channels: a surface, not a solid
};

struct SolidResult {
  icc::Result result;         // Ok, InvalidProfile, Version5 or OutOfMemory (past `limits`)
  NoSolid none = NoSolid::None;  // set (with an Ok result and an empty solid) for a kind
                                 // that has none
};

// What the header's class and colour space say of a solid: NoSolid::None when the profile
// may have one (its data decide), the reason otherwise.
NoSolid NoSolidOf(uint32_t device_class, uint32_t colour_space);

// "833,534": digits in groups of three, as every surface shows a volume or a size.
std::string Thousands(uint64_t n);

// Our words for NoSolid, e.g. "a gray profile holds a line of colours, not a solid".
const char* NoSolidText(NoSolid none);

// Computes the solid of `profile` within the cost `limits` allow (the thumbnail's).
SolidResult ComputeSolid(icc::Profile& profile, Solid* out, const Limits& limits = Limits());

// The solid of a built-in reference, computed once (thread-safe).
const Solid& ReferenceSolid(Reference reference);

// The share of `reference`'s volume that lies inside `solid`, in percent (0 to 100).
double Coverage(const Solid& solid, const Solid& reference);
// solid's volume over reference's, in percent.
double RelativeVolume(const Solid& solid, const Solid& reference);

}  // namespace gamut
