// Hands a profile of our container to Little CMS.  Little CMS reads through an IO handler
// that serves the header and the tag table from the container and tag bytes through
// Profile::GetTag, so only the tags it asks for are read from the file.
#pragma once

#include <lcms2_plugin.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "icc_profile.h"

namespace gamut {

// A Little CMS context whose allocations together stay within `bytes`: a request past it
// fails, as a failed allocation does, and exceeded() tells so afterwards.  Everything made
// in the context must go before it does.
class LcmsBudget {
 public:
  explicit LcmsBudget(std::size_t bytes);
  ~LcmsBudget();
  LcmsBudget(const LcmsBudget&) = delete;
  LcmsBudget& operator=(const LcmsBudget&) = delete;

  cmsContext context() const { return context_; }
  bool exceeded() const { return exceeded_; }

 private:
  friend struct BudgetAllocator;
  std::size_t limit_;
  std::size_t used_ = 0;
  bool exceeded_ = false;
  cmsContext context_ = nullptr;
};

// Opens `profile` for Little CMS in `context`; the profile must outlive the handle.  A read
// of a tag larger than `max_tag_bytes` fails and sets *refused.  Returns null when Little
// CMS refuses the profile.
cmsHPROFILE OpenLcmsProfile(icc::Profile& profile, cmsContext context = nullptr,
                            uint32_t max_tag_bytes = UINT32_MAX, bool* refused = nullptr);

// Runs `body` in a context of `memory` bytes.  A failure after a refused tag read or past
// the budget is Status::OutOfMemory.  Little CMS reads version 5 profiles as version 4
// ones: what it cannot read of one is the newer format, not damage, and is
// Status::Version5.
icc::Result WithinBudget(icc::Profile& profile, std::size_t memory,
                         const std::function<icc::Result(cmsContext, bool* refused)>& body);

// Closes a Little CMS handle on scope exit.
template <class Handle, auto Close>
struct LcmsHandle {
  Handle h;
  explicit LcmsHandle(Handle p) : h(p) {}
  ~LcmsHandle() { if (h) Close(h); }
  LcmsHandle(const LcmsHandle&) = delete;
  LcmsHandle& operator=(const LcmsHandle&) = delete;
};
using LcmsProfile = LcmsHandle<cmsHPROFILE, cmsCloseProfile>;
using Transform = LcmsHandle<cmsHTRANSFORM, cmsDeleteTransform>;

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
