// Hands a profile of our container to Little CMS.  Little CMS reads through an IO handler
// that serves the header and the tag table from the container and tag bytes through
// Profile::GetTag, so only the tags it asks for are read from the file.
#pragma once

#include <lcms2_plugin.h>

#include "icc_profile.h"

namespace gamut {

// Opens `profile` for Little CMS; the profile must outlive the handle.  Returns null when
// Little CMS refuses the profile.
cmsHPROFILE OpenLcmsProfile(icc::Profile& profile);

// Closes a handle on scope exit.
struct LcmsProfile {
  cmsHPROFILE h;
  explicit LcmsProfile(cmsHPROFILE p) : h(p) {}
  ~LcmsProfile() { if (h) cmsCloseProfile(h); }
  LcmsProfile(const LcmsProfile&) = delete;
  LcmsProfile& operator=(const LcmsProfile&) = delete;
};

}  // namespace gamut

namespace gamut {

struct Point;

// The absolute chromaticity of a connection-space XYZ of `profile` (D50-relative): through
// the inverse of the profile's chromatic adaptation, or Bradford towards its media white.
class ChromaticityMap {
 public:
  explicit ChromaticityMap(cmsHPROFILE profile);
  // False for values without a chromaticity (black, or not finite).
  bool operator()(const cmsCIEXYZ& pcs, Point* out) const;

 private:
  cmsMAT3 m_;
};

}  // namespace gamut
