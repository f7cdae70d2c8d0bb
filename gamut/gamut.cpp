#include "gamut.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "device_surface.h"
#include "lcms_io.h"

namespace gamut {
namespace {

constexpr double kPi = 3.14159265358979323846;

icc::Result Invalid() { return {icc::Status::InvalidProfile, 0}; }
icc::Result PastLimit() { return {icc::Status::OutOfMemory, 0}; }

bool Finite(const Point& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) < 10 && std::fabs(p.y) < 10;
}

// Linear sRGB of a D50 XYZ (Bradford to D65), encoded and clipped, as 0xRRGGBB.
uint32_t SrgbOfD50(const cmsCIEXYZ& v) {
  static const double m[3][3] = {{3.1338561, -1.6168667, -0.4906146},
                                 {-0.9787684, 1.9161415, 0.0334540},
                                 {0.0719453, -0.2289914, 1.4052427}};
  uint32_t rgb = 0;
  for (int i = 0; i < 3; ++i) {
    double c = m[i][0] * v.X + m[i][1] * v.Y + m[i][2] * v.Z;
    c = std::clamp(c, 0.0, 1.0);
    c = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    rgb = (rgb << 8) | uint32_t(std::lround(c * 255));
  }
  return rgb;
}

// --- LUT outlines ----------------------------------------------------------------------

// The outline of the region covered by `segments` (pairs of indexes into `points`) as seen
// from `origin`: along rays through every end point and at every degree, the farthest crossing.  Exact at the sampled points,
// so corners such as the primaries stay on the outline.
std::vector<Point> StarOutline(const std::vector<Point>& points,
                               const std::vector<std::pair<int, int>>& segments, Point origin) {
  auto angle_of = [&](const Point& p) { return std::atan2(p.y - origin.y, p.x - origin.x); };
  std::vector<double> rays;
  rays.reserve(2 * segments.size() + 360);
  for (const auto& [i, j] : segments) {
    rays.push_back(angle_of(points[std::size_t(i)]));
    rays.push_back(angle_of(points[std::size_t(j)]));
  }
  for (int d = 0; d < 360; ++d) rays.push_back(-kPi + d * kPi / 180);
  std::sort(rays.begin(), rays.end());
  rays.erase(std::unique(rays.begin(), rays.end(),
                         [](double a, double b) { return b - a < 1e-9; }),
             rays.end());
  std::vector<double> reach(rays.size(), -1);
  std::vector<Point> direction(rays.size());
  for (std::size_t k = 0; k < rays.size(); ++k) direction[k] = {std::cos(rays[k]), std::sin(rays[k])};

  auto cast = [&](std::size_t k, const Point& p, const Point& q) {
    const double dx = direction[k].x, dy = direction[k].y;
    const double ex = q.x - p.x, ey = q.y - p.y;
    const double den = dx * ey - dy * ex;
    const double px = p.x - origin.x, py = p.y - origin.y;
    double r;
    if (std::fabs(den) < 1e-15) {
      r = std::max(std::hypot(px, py), std::hypot(q.x - origin.x, q.y - origin.y));
    } else {
      const double s = (px * dy - py * dx) / den;  // position along the segment
      if (s < -1e-9 || s > 1 + 1e-9) return;
      r = (px * ey - py * ex) / den;
    }
    if (r > reach[k]) reach[k] = r;
  };
  for (const auto& [i, j] : segments) {
    double a0 = angle_of(points[std::size_t(i)]), a1 = angle_of(points[std::size_t(j)]);
    if (a1 < a0) std::swap(a0, a1);
    const auto lo = [&](double a) { return std::size_t(std::lower_bound(rays.begin(), rays.end(), a - 1e-9) - rays.begin()); };
    const auto hi = [&](double a) { return std::size_t(std::upper_bound(rays.begin(), rays.end(), a + 1e-9) - rays.begin()); };
    const Point& p = points[std::size_t(i)];
    const Point& q = points[std::size_t(j)];
    if (a1 - a0 <= kPi) {
      for (std::size_t k = lo(a0); k < hi(a1); ++k) cast(k, p, q);
    } else {  // the short way round crosses the cut at +-pi
      for (std::size_t k = 0; k < hi(a0); ++k) cast(k, p, q);
      for (std::size_t k = lo(a1); k < rays.size(); ++k) cast(k, p, q);
    }
  }

  std::vector<Point> outline;
  for (std::size_t k = 0; k < rays.size(); ++k)
    if (reach[k] >= 0)
      outline.push_back({origin.x + reach[k] * direction[k].x, origin.y + reach[k] * direction[k].y});
  // Drop points that lie on the line through their neighbours.
  std::vector<Point> kept;
  for (std::size_t k = 0; k < outline.size(); ++k) {
    const Point& a = kept.empty() ? outline.back() : kept.back();
    const Point& b = outline[k];
    const Point& c = outline[(k + 1) % outline.size()];
    const double cross = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (std::fabs(cross) > 1e-9 * std::max(1e-6, std::hypot(c.x - a.x, c.y - a.y)) || outline.size() <= 3)
      kept.push_back(b);
  }
  return kept;
}

icc::Result LutOutline(cmsHPROFILE h, const ChromaticityMap& map, uint64_t work, Gamut* g) {
  const cmsColorSpaceSignature space = cmsGetColorSpace(h);
  const int channels = int(cmsChannelsOf(space));
  const std::vector<Face> faces = OutlineFaces(space, channels);
  if (faces.empty()) return Invalid();
  // Grid points along a face's side: fewer for many faces, and fewer again while the
  // samples would cost more interpolation than `work` allows.
  int n = faces.size() > 6 ? 9 : 17;
  while (n > 3 && SurfaceCost(faces.size(), n, channels) > work) n = (n + 1) / 2;
  if (SurfaceCost(faces.size(), n, channels) > work) return PastLimit();

  const std::vector<uint16_t> device = SampleFaces(faces, n, channels);
  const std::size_t count = device.size() / std::size_t(channels);

  std::vector<cmsCIEXYZ> pcs(count);
  const icc::Result r = TransformSamples(h, device, false, pcs.data());
  if (!r.ok()) return r;

  // Relative chromaticities; samples too dark to have a meaningful one are left out.
  std::vector<Point> xy(count);
  std::vector<bool> usable(count);
  Point origin{0, 0};
  std::size_t used = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const cmsCIEXYZ& v = pcs[k];
    const double sum = v.X + v.Y + v.Z;
    xy[k] = {v.X / sum, v.Y / sum};
    usable[k] = v.Y > 0.002 && sum > 0 && Finite(xy[k]);
    if (usable[k]) {
      origin.x += xy[k].x;
      origin.y += xy[k].y;
      ++used;
    }
  }
  if (used < 3) return Invalid();
  origin.x /= double(used);
  origin.y /= double(used);

  std::vector<std::pair<int, int>> segments;
  std::vector<Point> ends;
  for (std::size_t f = 0; f < faces.size(); ++f)
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        const int k = int(f) * n * n + i * n + j;
        if (!usable[std::size_t(k)]) continue;
        if (i + 1 < n && usable[std::size_t(k + n)]) segments.push_back({k, k + n});
        if (j + 1 < n && usable[std::size_t(k + 1)]) segments.push_back({k, k + 1});
      }
  std::vector<Point> outline = StarOutline(xy, segments, origin);
  if (outline.size() < 3) return Invalid();

  for (Point& p : outline) {
    const cmsCIEXYZ v{p.x / p.y, 1.0, (1 - p.x - p.y) / p.y};
    if (!map(v, &p)) return Invalid();
  }
  g->outline = std::move(outline);
  return {};
}

// --- the other kinds -------------------------------------------------------------------

icc::Result MatrixTriangle(cmsHPROFILE h, const ChromaticityMap& map, Gamut* g) {
  for (cmsTagSignature tag : {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag}) {
    const auto* v = static_cast<const cmsCIEXYZ*>(cmsReadTag(h, tag));
    Point p;
    if (!v || !map(*v, &p)) return Invalid();
    g->outline.push_back(p);
  }
  g->primaries = g->outline;
  // Counter-clockwise, whatever order the primaries come in.
  const Point &a = g->outline[0], &b = g->outline[1], &c = g->outline[2];
  if ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x) < 0) std::swap(g->outline[1], g->outline[2]);
  return {};
}

icc::Result GrayRamp(cmsHPROFILE h, Gamut* g) {
  LcmsProfile lab(cmsCreateLab4ProfileTHR(cmsGetProfileContextID(h), nullptr));
  if (!lab.h) return {icc::Status::OutOfMemory, 0};
  Transform t(cmsCreateTransform(h, TYPE_GRAY_16, lab.h, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                 cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE));
  if (!t.h) return Invalid();
  constexpr int kSteps = 16;
  uint16_t device[kSteps];
  cmsCIELab out[kSteps];
  for (int i = 0; i < kSteps; ++i) device[i] = uint16_t(i * 0xFFFF / (kSteps - 1));
  cmsDoTransform(t.h, device, out, kSteps);
  for (const cmsCIELab& v : out) {
    if (!std::isfinite(v.L)) return Invalid();
    cmsCIEXYZ xyz;
    cmsCIELab grey{std::clamp(v.L, 0.0, 100.0), 0, 0};
    cmsLab2XYZ(nullptr, &xyz, &grey);
    g->ramp.push_back(uint8_t(SrgbOfD50(xyz) & 0xFF));
  }
  return {};
}

icc::Result NamedDots(cmsHPROFILE h, const ChromaticityMap& map, Gamut* g) {
  const auto* list = static_cast<const cmsNAMEDCOLORLIST*>(cmsReadTag(h, cmsSigNamedColor2Tag));
  if (!list) return Invalid();
  const bool v4 = cmsGetEncodedICCversion(h) >= 0x4000000;
  const bool lab = cmsGetPCS(h) == cmsSigLabData;
  const cmsUInt32Number count = cmsNamedColorCount(list);
  for (cmsUInt32Number i = 0; i < count; ++i) {
    cmsUInt16Number encoded[3];
    if (!cmsNamedColorInfo(list, i, nullptr, nullptr, nullptr, encoded, nullptr)) return Invalid();
    cmsCIEXYZ xyz;
    if (lab) {
      cmsCIELab v;
      if (v4) cmsLabEncoded2Float(&v, encoded); else cmsLabEncoded2FloatV2(&v, encoded);
      cmsLab2XYZ(nullptr, &xyz, &v);
    } else {
      cmsXYZEncoded2Float(&xyz, encoded);
    }
    NamedColour c;
    if (!map(xyz, &c.xy)) continue;  // black has no chromaticity
    c.rgb = SrgbOfD50(xyz);
    g->colours.push_back(c);
  }
  return {};
}

// Little CMS prefers the device-to-connection tables to the matrix when a profile has both.
bool HasDeviceTables(cmsHPROFILE h) {
  for (cmsTagSignature tag : {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigDToB0Tag,
                              cmsSigDToB1Tag, cmsSigDToB2Tag})
    if (cmsIsTag(h, tag)) return true;
  return false;
}

}  // namespace

ChromaticityMap::ChromaticityMap(cmsHPROFILE profile) {
  _cmsMAT3identity(&m_);
  const auto* chad = static_cast<const cmsMAT3*>(cmsReadTag(profile, cmsSigChromaticAdaptationTag));
  if (chad && _cmsMAT3inverse(chad, &m_)) return;
  _cmsMAT3identity(&m_);
  const auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigMediaWhitePointTag));
  if (!white || !(white->Y > 0) || !std::isfinite(white->X + white->Y + white->Z)) return;
  // Bradford is linear: its matrix is the image of the unit vectors.
  for (int c = 0; c < 3; ++c) {
    cmsCIEXYZ unit{c == 0 ? 1.0 : 0.0, c == 1 ? 1.0 : 0.0, c == 2 ? 1.0 : 0.0}, out;
    if (!cmsAdaptToIlluminant(&out, cmsD50_XYZ(), white, &unit)) {
      _cmsMAT3identity(&m_);
      return;
    }
    m_.v[0].n[c] = out.X;
    m_.v[1].n[c] = out.Y;
    m_.v[2].n[c] = out.Z;
  }
}

bool ChromaticityMap::operator()(const cmsCIEXYZ& pcs, Point* out) const {
  double v[3];
  for (int r = 0; r < 3; ++r) v[r] = m_.v[r].n[0] * pcs.X + m_.v[r].n[1] * pcs.Y + m_.v[r].n[2] * pcs.Z;
  const double sum = v[0] + v[1] + v[2];
  if (!(std::fabs(sum) > 1e-9)) return false;
  *out = {v[0] / sum, v[1] / sum};
  return Finite(*out);
}

namespace {

icc::Result ComputeIn(icc::Profile& profile, cmsContext context, const Limits& limits,
                      bool* refused, Gamut* out) {
  LcmsProfile h(OpenLcmsProfile(profile, context, limits.tag_bytes, refused));
  if (!h.h) return Invalid();
  Gamut g;
  g.device_class = uint32_t(cmsGetDeviceClass(h.h));
  g.colour_space = uint32_t(cmsGetColorSpace(h.h));
  const cmsColorSpaceSignature space = cmsGetColorSpace(h.h);
  const ChromaticityMap map(h.h);
  if (!map(*cmsD50_XYZ(), &g.white)) return Invalid();

  icc::Result r;
  if (g.device_class == cmsSigAbstractClass) {
    g.label = "ABSTRACT";
    g.short_label = "ABS";
  } else if (g.device_class == cmsSigLinkClass) {
    g.label = "DEVICE LINK";
    g.short_label = "LINK";
  } else if (g.device_class == cmsSigNamedColorClass) {
    g.kind = Kind::NamedColours;
    r = NamedDots(h.h, map, &g);
  } else if (space == cmsSigLabData) {
    g.label = g.short_label = "LAB";
  } else if (space == cmsSigXYZData) {
    g.label = g.short_label = "XYZ";
  } else if (space == cmsSigGrayData) {
    g.kind = Kind::Gray;
    r = GrayRamp(h.h, &g);
  } else if (space == cmsSigRgbData && cmsIsMatrixShaper(h.h) && !HasDeviceTables(h.h)) {
    g.kind = Kind::Matrix;
    r = MatrixTriangle(h.h, map, &g);
  } else {
    g.kind = Kind::Lut;
    r = LutOutline(h.h, map, limits.interpolation, &g);
  }
  if (!r.ok()) return r;
  *out = std::move(g);
  return {};
}

}  // namespace

icc::Result ComputeGamut(icc::Profile& profile, Gamut* out, const Limits& limits) {
  return WithinBudget(profile, limits.memory, [&](cmsContext context, bool* refused) {
    return ComputeIn(profile, context, limits, refused, out);
  });
}

}  // namespace gamut
