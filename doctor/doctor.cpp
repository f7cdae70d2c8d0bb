#include "doctor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "lcms_io.h"
#include "profile_facts.h"

namespace doctor {
namespace {

using icc::Severity;

// ---- Colour checks ----------------------------------------------------------------------

const cmsCIEXYZ kD50 = {0.9642, 1.0, 0.8249};

// Tag positions for findings: the entry's offset, or -1.
int64_t OffsetOf(icc::Profile& profile, uint32_t tag) {
  for (const icc::TagEntry& e : profile.Entries())
    if (e.signature == tag) return e.offset;
  return -1;
}

std::string Fixed(double v, int digits = 4) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

// Distance in xy from the daylight locus (4000 K to 25000 K) and, below it, the Planckian
// locus's neighbourhood, approximated by the daylight formula extended to 2500 K.
bool NearDaylight(double x, double y) {
  if (x < 0.24 || x > 0.48) return false;
  const double locus = -3.0 * x * x + 2.87 * x - 0.275;
  return std::abs(y - locus) < 0.04;
}

void CheckWhitePoint(cmsHPROFILE h, icc::Profile& profile, uint32_t cls, icc::CheckReport* r) {
  const auto* wtpt = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, cmsSigMediaWhitePointTag));
  if (!wtpt) return;
  const double sum = wtpt->X + wtpt->Y + wtpt->Z;
  const bool y_ok = wtpt->Y > 0.5 && wtpt->Y < 1.05 &&
                    (cls == cmsSigOutputClass || std::abs(wtpt->Y - 1.0) < 0.05);
  const bool xy_ok = sum > 0 && NearDaylight(wtpt->X / sum, wtpt->Y / sum);
  if (!y_ok || !xy_ok)
    r->Add(Severity::Warning, "white-point", cmsSigMediaWhitePointTag,
           OffsetOf(profile, cmsSigMediaWhitePointTag),
           "The media white point (X " + Fixed(wtpt->X) + ", Y " + Fixed(wtpt->Y) + ", Z " +
               Fixed(wtpt->Z) + ") is " +
               (!y_ok ? "not of a luminance near 1." : "far from the daylight locus."));
}

const cmsTagSignature kColorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                       cmsSigBlueColorantTag};

// Each colorant should be the primary its tag names: the red one the reddest of the three
// (the largest share of X), the green one the greenest (of Y), the blue one the bluest (of
// Z).  When another colorant plays a tag's part, the colorants are in each other's tags.
void CheckColorantOrder(const cmsCIEXYZ* const c[3], icc::Profile& profile, icc::CheckReport* r) {
  double share[3][3];  // [colorant][X, Y, Z]
  for (int i = 0; i < 3; ++i) {
    const double sum = c[i]->X + c[i]->Y + c[i]->Z;
    if (!(sum > 0)) return;
    share[i][0] = c[i]->X / sum, share[i][1] = c[i]->Y / sum, share[i][2] = c[i]->Z / sum;
  }
  int plays[3];  // the colorant that is most of each primary
  for (int p = 0; p < 3; ++p) {
    plays[p] = 0;
    for (int i = 1; i < 3; ++i)
      if (share[i][p] > share[plays[p]][p]) plays[p] = i;
  }
  if (plays[0] == plays[1] || plays[0] == plays[2] || plays[1] == plays[2]) return;  // no order
  static const char* const kPrimary[3] = {"red", "green", "blue"};
  static const char* const kMost[3] = {"reddest", "greenest", "bluest"};
  for (int tag = 0; tag < 3; ++tag) {
    int is = 0;
    while (plays[is] != tag) ++is;
    if (is == tag) continue;
    const bool pair = plays[tag] == is;  // the two have swapped tags
    const icc::Xyz xyz{c[tag]->X, c[tag]->Y, c[tag]->Z};
    double x = 0, y = 0;
    icc::Chromaticity(xyz, &x, &y);
    r->Add(Severity::Warning, "colorant-order", kColorants[tag], OffsetOf(profile, kColorants[tag]),
           "The " + icc::TagName(kColorants[tag]) + " colorant (x " + Fixed(x) + ", y " + Fixed(y) +
               ") is the " + kMost[is] + " of the three: " +
               (pair ? std::string("the ") + kPrimary[tag] + " and " + kPrimary[is] +
                           " colorants look swapped."
                     : std::string("the colorants are not in their own tags.")));
    return;
  }
}

void CheckMatrix(cmsHPROFILE h, icc::Profile& profile, icc::CheckReport* r) {
  const cmsCIEXYZ* colorants[3];
  cmsCIEXYZ sum = {0, 0, 0};
  bool empty = false;
  for (int i = 0; i < 3; ++i) {
    const cmsTagSignature sig = kColorants[i];
    const auto* c = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, sig));
    if (!c) return;
    colorants[i] = c;
    if (c->X == 0 && c->Y == 0 && c->Z == 0) {
      r->Add(Severity::Warning, "colorant-range", sig, OffsetOf(profile, sig),
             "The " + icc::TagName(sig) + " colorant is X 0, Y 0, Z 0: it gives no colour.");
      empty = true;
    } else if (c->X < 0 || c->Y < 0 || c->Z < 0) {
      r->Add(Severity::Warning, "colorant-range", sig, OffsetOf(profile, sig),
             "The " + icc::TagName(sig) + " colorant (X " + Fixed(c->X) + ", Y " + Fixed(c->Y) +
                 ", Z " + Fixed(c->Z) + ") has a negative value.");
    }
    sum.X += c->X;
    sum.Y += c->Y;
    sum.Z += c->Z;
  }
  // An empty colorant is the fault, found at its own tag; what the three add up to follows.
  if (empty) return;
  CheckColorantOrder(colorants, profile, r);
  auto near = [&sum](const cmsCIEXYZ& w) {
    return std::abs(sum.X - w.X) < 0.01 && std::abs(sum.Y - w.Y) < 0.01 &&
           std::abs(sum.Z - w.Z) < 0.01;
  };
  const auto* wtpt = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, cmsSigMediaWhitePointTag));
  if (!near(kD50) && !(wtpt && near(*wtpt)))
    r->Add(Severity::Warning, "colorant-sum", cmsSigRedColorantTag,
           OffsetOf(profile, cmsSigRedColorantTag),
           "The colorants add up to X " + Fixed(sum.X) + ", Y " + Fixed(sum.Y) + ", Z " +
               Fixed(sum.Z) + ", not to the white point (D50: X 0.9642, Y 1, Z 0.8249).");
}

// A table is judged by its entries, with Little CMS's allowance for ripple; a formula by
// its values, which its 16-bit table would clip (a gamma below zero rises past 1 and falls).
bool Ascending(const cmsToneCurve* c) {
  if (cmsGetToneCurveParametricType(c) != 0) {
    constexpr int kSteps = 1024;
    float last = cmsEvalToneCurveFloat(c, 0.0f);
    for (int i = 1; i <= kSteps; ++i) {
      const float v = cmsEvalToneCurveFloat(c, float(i) / kSteps);
      if (!std::isfinite(last) || !std::isfinite(v) || v < last - 1e-6f) return false;
      last = v;
    }
    return true;
  }
  return cmsIsToneCurveMonotonic(c) &&
         cmsEvalToneCurveFloat(c, 1.0f) >= cmsEvalToneCurveFloat(c, 0.0f);
}

void CheckCurve(const cmsToneCurve* c, cmsTagSignature sig, const char* monotonic_code,
                bool check_range, icc::Profile& profile, icc::CheckReport* r) {
  const double gamma = cmsGetToneCurveParametricType(c) != 0 ? cmsGetToneCurveParams(c)[0] : 1;
  if (!(gamma > 0)) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", gamma);
    r->Add(Severity::Warning, monotonic_code, sig, OffsetOf(profile, sig),
           "The " + icc::TagName(sig) + " curve's gamma is " + text +
               ": the curve does not rise from black to white.");
  } else if (!Ascending(c))
    r->Add(Severity::Warning, monotonic_code, sig, OffsetOf(profile, sig),
           "The " + icc::TagName(sig) + " curve does not rise steadily from black to white.");
  else if (check_range && (cmsEvalToneCurveFloat(c, 0.0f) > 0.1f ||
                           cmsEvalToneCurveFloat(c, 1.0f) < 0.9f))
    r->Add(Severity::Warning, "curve-range", sig, OffsetOf(profile, sig),
           "The " + icc::TagName(sig) + " curve runs from " +
               Fixed(cmsEvalToneCurveFloat(c, 0.0f), 3) + " to " +
               Fixed(cmsEvalToneCurveFloat(c, 1.0f), 3) + " instead of 0 to 1.");
}

void CheckCurves(cmsHPROFILE h, icc::Profile& profile, icc::CheckReport* r) {
  for (cmsTagSignature sig : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag,
                              cmsSigGrayTRCTag}) {
    const auto* c = static_cast<const cmsToneCurve*>(cmsReadTag(h, sig));
    if (c) CheckCurve(c, sig, "curve-monotonic", true, profile, r);
  }
  const auto* const* vcgt = static_cast<cmsToneCurve* const*>(cmsReadTag(h, cmsSigVcgtTag));
  if (vcgt)
    for (int i = 0; i < 3; ++i)
      if (vcgt[i] && !Ascending(vcgt[i])) {
        r->Add(Severity::Warning, "vcgt-monotonic", cmsSigVcgtTag, OffsetOf(profile, cmsSigVcgtTag),
               std::string("The video card curve of the ") + (i == 0 ? "red" : i == 1 ? "green" : "blue") +
                   " channel does not rise steadily.");
        break;
      }
}

// The device's grays (R = G = B) through the profile, relative colorimetric: each should
// be neutral (little chroma) and lighter than the one before.
void CheckGrayAxis(cmsHPROFILE h, icc::CheckReport* r) {
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  if (!lab) return;
  cmsHTRANSFORM t = cmsCreateTransform(h, TYPE_RGB_DBL, lab, TYPE_Lab_DBL,
                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
  cmsCloseProfile(lab);
  if (!t) return;
  constexpr int kSteps = 33;
  double rgb[kSteps][3];
  cmsCIELab out[kSteps];
  for (int i = 0; i < kSteps; ++i) rgb[i][0] = rgb[i][1] = rgb[i][2] = double(i) / (kSteps - 1);
  cmsDoTransform(t, rgb, out, kSteps);
  cmsDeleteTransform(t);
  double worst_chroma = 0, worst_at = 0;
  bool falls = false;
  for (int i = 0; i < kSteps; ++i) {
    const double chroma = std::hypot(out[i].a, out[i].b);
    // Near black the hue of a gray means little; the chroma allowed grows with lightness.
    if (out[i].L > 10 && chroma > 3 + out[i].L * 0.02 && chroma > worst_chroma) {
      worst_chroma = chroma;
      worst_at = rgb[i][0];
    }
    if (i > 0 && out[i].L < out[i - 1].L - 0.5) falls = true;
  }
  if (worst_chroma > 0)
    r->Add(Severity::Warning, "gray-axis", 0, -1,
           "The device's grays are not neutral: at " + Fixed(worst_at * 100, 0) +
               "% the colour has a chroma of " + Fixed(worst_chroma, 1) + ".");
  if (falls)
    r->Add(Severity::Warning, "gray-monotonic", 0, -1,
           "The device's grays do not grow lighter steadily from black to white.");
}

void IgnoreLcmsErrors(cmsContext, cmsUInt32Number, const char*) {}

// Little CMS reads no profile of more tags than this.
constexpr std::size_t kLcmsMaxTags = 100;

}  // namespace

void CheckColour(icc::Profile& profile, icc::CheckReport* report) {
  if (profile.Entries().size() > kLcmsMaxTags) {
    report->Add(Severity::Error, "lcms-refused", 0, -1,
                "Little CMS, the colour engine, refuses to open the profile: it reads at most " +
                    std::to_string(kLcmsMaxTags) + " tags, and the profile has " +
                    std::to_string(profile.Entries().size()) + ".");
    return;
  }
  cmsSetLogErrorHandler(IgnoreLcmsErrors);
  gamut::LcmsProfile h(gamut::OpenLcmsProfile(profile));
  if (!h.h) {
    report->Add(Severity::Error, "lcms-refused", 0, -1,
                "Little CMS, the colour engine, refuses to open the profile.");
    return;
  }
  // From the header itself: Little CMS hands any value over as one of its enumerations.
  const uint32_t cls = profile.header().device_class(), space = profile.header().colour_space();
  if (cls != cmsSigLinkClass && cls != cmsSigAbstractClass) CheckWhitePoint(h.h, profile, cls, report);
  if (space == cmsSigRgbData && cmsIsMatrixShaper(h.h)) CheckMatrix(h.h, profile, report);
  CheckCurves(h.h, profile, report);
  // Equal device values are a gray for a display, a scanner or a printer; a colour space
  // profile may encode anything under RGB's signature (a YCC, say).
  const bool device = cls == cmsSigDisplayClass || cls == cmsSigInputClass ||
                      cls == cmsSigOutputClass;
  if (device && space == cmsSigRgbData) CheckGrayAxis(h.h, report);
}

bool TableDamaged(const icc::CheckReport& report) {
  for (const char* code : {"tag-count", "tag-outside", "tag-overlap", "tag-duplicate"})
    if (report.Has(code)) return true;
  return !report.readable;
}

icc::Result CheckProfile(icc::SourceFile& file, icc::CheckReport* report, uint64_t max_id_bytes) {
  icc::Result r = icc::CheckStructure(file, report, max_id_bytes);
  // A localized name that says something other than the description may be a name of its
  // own, the one people know the profile by elsewhere: a note, never repaired.
  for (icc::Finding& f : report->findings)
    if (std::string(f.code) == "dscm-mismatch") f.severity = Severity::Note;
  // Tags of a damaged table say nothing about colour, nor does a profile without tags.
  if (!r.ok() || TableDamaged(*report) || report->Has("no-tags")) return r;
  std::unique_ptr<icc::Profile> profile;
  r = icc::Profile::Open(file, &profile);
  if (r.status == icc::Status::InvalidProfile) return {};
  if (!r.ok()) return r;
  if (profile->header().version_major() == 5) {
    report->Add(Severity::Note, "colour-not-checked", 0, -1,
                "version 5 (iccMAX): header and tag table checked; its colour transforms are "
                "not read here");
    return {};
  }
  try {
    CheckColour(*profile, report);
  } catch (const std::bad_alloc&) {
    return {icc::Status::OutOfMemory, 0};
  }
  return {};
}

}  // namespace doctor
