#include "doctor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "lcms_io.h"

namespace doctor {
namespace {

using icc::Severity;

// Lends a file to icc::Profile, which wants to own one.
class BorrowedFile : public icc::SourceFile {
 public:
  explicit BorrowedFile(icc::SourceFile& file) : file_(file) {}
  uint64_t Size() const override { return file_.Size(); }
  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
    return file_.ReadAt(offset, buffer, count);
  }

 private:
  icc::SourceFile& file_;
};

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

void CheckMatrix(cmsHPROFILE h, icc::Profile& profile, icc::CheckReport* r) {
  const cmsTagSignature sigs[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                   cmsSigBlueColorantTag};
  cmsCIEXYZ sum = {0, 0, 0};
  for (cmsTagSignature sig : sigs) {
    const auto* c = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, sig));
    if (!c) return;
    if (c->X < 0 || c->Y < 0 || c->Z < 0)
      r->Add(Severity::Warning, "colorant-range", sig, OffsetOf(profile, sig),
             "The " + icc::TagName(sig) + " colorant (X " + Fixed(c->X) + ", Y " + Fixed(c->Y) +
                 ", Z " + Fixed(c->Z) + ") has a negative value.");
    sum.X += c->X;
    sum.Y += c->Y;
    sum.Z += c->Z;
  }
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

bool Ascending(const cmsToneCurve* c) {
  return cmsIsToneCurveMonotonic(c) &&
         cmsEvalToneCurveFloat(c, 1.0f) >= cmsEvalToneCurveFloat(c, 0.0f);
}

void CheckCurve(const cmsToneCurve* c, cmsTagSignature sig, const char* monotonic_code,
                bool check_range, icc::Profile& profile, icc::CheckReport* r) {
  if (!Ascending(c))
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

}  // namespace

void CheckColour(icc::Profile& profile, icc::CheckReport* report) {
  cmsSetLogErrorHandler(IgnoreLcmsErrors);
  gamut::LcmsProfile h(gamut::OpenLcmsProfile(profile));
  if (!h.h) {
    report->Add(Severity::Error, "lcms-refused", 0, -1,
                "Little CMS, the colour engine, refuses to open the profile.");
    return;
  }
  // From the header itself: Little CMS hands any value over as one of its enumerations.
  uint8_t header[icc::kHeaderSize];
  profile.GetHeader(header);
  const uint32_t cls = icc::LoadBE32(header + 12), space = icc::LoadBE32(header + 16);
  if (cls != cmsSigLinkClass && cls != cmsSigAbstractClass) CheckWhitePoint(h.h, profile, cls, report);
  if (space == cmsSigRgbData && cmsIsMatrixShaper(h.h)) CheckMatrix(h.h, profile, report);
  CheckCurves(h.h, profile, report);
  const bool device = cls == cmsSigDisplayClass || cls == cmsSigInputClass ||
                      cls == cmsSigOutputClass || cls == cmsSigColorSpaceClass;
  if (device && space == cmsSigRgbData) CheckGrayAxis(h.h, report);
}

bool TableDamaged(const icc::CheckReport& report) {
  for (const char* code : {"tag-count", "tag-outside", "tag-overlap", "tag-duplicate"})
    if (report.Has(code)) return true;
  return !report.readable;
}

icc::Result CheckProfile(icc::SourceFile& file, icc::CheckReport* report) {
  icc::Result r = icc::CheckStructure(file, report);
  // A localized name that says something else than the description may be a name of its
  // own, the one people know the profile by elsewhere: a note, never repaired.
  for (icc::Finding& f : report->findings)
    if (std::string(f.code) == "dscm-mismatch") f.severity = Severity::Note;
  // Tags of a damaged table say nothing about colour.
  if (!r.ok() || TableDamaged(*report)) return r;
  std::unique_ptr<icc::Profile> profile;
  r = icc::Profile::Open(std::make_unique<BorrowedFile>(file), &profile);
  if (r.status == icc::Status::InvalidProfile) return {};
  if (!r.ok()) return r;
  try {
    CheckColour(*profile, report);
  } catch (const std::bad_alloc&) {
    return {icc::Status::OutOfMemory, 0};
  }
  return {};
}

}  // namespace doctor
