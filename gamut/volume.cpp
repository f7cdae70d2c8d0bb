#include "volume.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "device_surface.h"
#include "lcms_io.h"

namespace gamut {
namespace {

using Vec = std::array<double, 3>;

constexpr int kResolution = 64;      // directions along a cube-map face's edge
// Samples along a device face's side: the six faces of an RGB cube want more than the 24
// of CMYK's 4-cube, whose volume moves by less than 0.01 % from 13 to 33.
constexpr int kSide = 33;
constexpr int kSideOfMore = 13;      // for four channels or more
constexpr std::size_t kMaxSamples = 1 << 16;  // on the whole device surface
constexpr double kFar = 1e4;         // Lab values beyond this are not colours
constexpr double kCoverageSamples = 4e5;  // grid points over a reference's box: 2 to 3 units apart

icc::Result Invalid() { return {icc::Status::InvalidProfile, 0}; }

Vec Minus(const Vec& p, const Vec& q) { return {p[0] - q[0], p[1] - q[1], p[2] - q[2]}; }
Vec Cross(const Vec& p, const Vec& q) {
  return {p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
}
double Dot(const Vec& p, const Vec& q) { return p[0] * q[0] + p[1] * q[1] + p[2] * q[2]; }

// The cube map of directions: face f looks along axis f / 2, forwards for even f; its cells
// run over u (axis f / 2 + 1) and v (axis f / 2 + 2), from -1 to 1 in steps of 2 / R.
struct CubeFace {
  int k, u, v;
  double sign;
};
CubeFace FaceOf(int f) { return {f / 2, (f / 2 + 1) % 3, (f / 2 + 2) % 3, f % 2 ? -1.0 : 1.0}; }

// The face whose pyramid of directions holds the direction d.
int FaceToward(const Vec& d) {
  const double m[3] = {std::fabs(d[0]), std::fabs(d[1]), std::fabs(d[2])};
  const int k = m[0] >= m[1] && m[0] >= m[2] ? 0 : m[1] >= m[2] ? 1 : 2;
  return 2 * k + (d[std::size_t(k)] < 0);
}

double CellCentre(int i, int resolution) { return -1 + (i + 0.5) * 2 / resolution; }

// Of each cell of a face, the same on every face: its solid angle and the length of its
// centre's direction (1, u, v).
struct Cell {
  double angle, length;
};
const std::vector<Cell>& Cells() {
  static const std::vector<Cell> cells = [] {
    // The solid angle of [0, u] x [0, v] is f(u, v).
    const auto f = [](double u, double v) { return std::atan2(u * v, std::sqrt(1 + u * u + v * v)); };
    const double step = 2.0 / kResolution;
    std::vector<Cell> all(std::size_t(kResolution * kResolution));
    for (int i = 0; i < kResolution; ++i)
      for (int j = 0; j < kResolution; ++j) {
        const double u0 = -1 + i * step, v0 = -1 + j * step, u1 = u0 + step, v1 = v0 + step;
        const double u = CellCentre(i, kResolution), v = CellCentre(j, kResolution);
        all[std::size_t(i * kResolution + j)] = {f(u1, v1) - f(u0, v1) - f(u1, v0) + f(u0, v0),
                                                 std::sqrt(1 + u * u + v * v)};
      }
    return all;
  }();
  return cells;
}

}  // namespace

// Casts rays from a centre against the image of the device surface, a triangle mesh.
class SolidBuilder {
 public:
  explicit SolidBuilder(const Vec& centre)
      : centre_(centre), radii_(std::size_t(6 * kResolution * kResolution), -1.0f) {}

  void Add(const Vec& p0, const Vec& p1, const Vec& p2) {
    Triangle t;
    t.p[0] = Minus(p0, centre_);
    t.p[1] = Minus(p1, centre_);
    t.p[2] = Minus(p2, centre_);
    t.normal = Cross(Minus(t.p[1], t.p[0]), Minus(t.p[2], t.p[0]));
    t.reach = Dot(t.normal, t.p[0]);
    if (!(std::fabs(t.reach) > 0)) return;  // seen edge-on from the centre
    // A ray goes through the triangle when it passes each edge on the inner side.
    const double side = t.reach > 0 ? 1 : -1;
    for (int i = 0; i < 3; ++i) {
      const Vec n = Cross(t.p[i], t.p[(i + 1) % 3]);
      t.edge[i] = {side * n[0], side * n[1], side * n[2]};
      t.slack[i] = -1e-9 * std::sqrt(Dot(n, n));
    }
    // A triangle whose corners look through one face lies in its pyramid of directions.
    const int f = FaceToward(t.p[0]);
    if (f == FaceToward(t.p[1]) && f == FaceToward(t.p[2])) {
      Rasterize(t, f, false);
      return;
    }
    for (int g = 0; g < 6; ++g) Rasterize(t, g, true);
  }

  // Fills the directions no triangle was met in from their neighbours, and finishes the
  // solid.  False when the triangles do not enclose the centre.
  bool Finish(Solid* out);

  static void Box(const Solid& s, double low[3], double high[3]) {
    for (int c = 0; c < 3; ++c) low[c] = s.low_[c], high[c] = s.high_[c];
  }

 private:
  struct Triangle {
    Vec p[3];     // corners, from the centre
    Vec normal;   // the plane is normal . x = reach
    double reach;
    Vec edge[3];  // towards the inside of the cone from the centre through each edge
    double slack[3];
  };
  void Rasterize(const Triangle& t, int f, bool clip);

  Vec centre_;
  int resolution_ = kResolution;
  std::vector<float> radii_;
};

// The cells of face f whose centre direction goes through the triangle.  The part of the
// triangle that lies in the face's pyramid of directions bounds the cells to try.
void SolidBuilder::Rasterize(const Triangle& t, int f, bool clip) {
  const CubeFace face = FaceOf(f);
  // Clipped against the pyramid's four planes, d >= |u| and d >= |v|.
  Vec polygon[7], clipped[7];
  int count = 3;
  std::copy(t.p, t.p + 3, polygon);
  for (int plane = 0; clip && plane < 4 && count > 0; ++plane) {
    const int axis = plane < 2 ? face.u : face.v;
    const double sign = plane % 2 ? -1 : 1;
    const auto inside = [&](const Vec& x) { return face.sign * x[std::size_t(face.k)] - sign * x[std::size_t(axis)]; };
    int kept = 0;
    for (int i = 0; i < count; ++i) {
      const Vec& a = polygon[i];
      const Vec& b = polygon[(i + 1) % count];
      const double da = inside(a), db = inside(b);
      if (da >= 0) clipped[kept++] = a;
      if ((da >= 0) != (db >= 0)) {
        const double s = da / (da - db);
        clipped[kept++] = {a[0] + s * (b[0] - a[0]), a[1] + s * (b[1] - a[1]), a[2] + s * (b[2] - a[2])};
      }
    }
    count = kept;
    std::copy(clipped, clipped + count, polygon);
  }
  if (count == 0) return;
  double u_lo = 1, u_hi = -1, v_lo = 1, v_hi = -1;
  for (int i = 0; i < count; ++i) {
    const double d = face.sign * polygon[i][std::size_t(face.k)];
    if (!(d > 0)) {  // the apex: the triangle passes by the centre
      u_lo = v_lo = -1;
      u_hi = v_hi = 1;
      break;
    }
    const double u = polygon[i][std::size_t(face.u)] / d, v = polygon[i][std::size_t(face.v)] / d;
    u_lo = std::min(u_lo, u), u_hi = std::max(u_hi, u);
    v_lo = std::min(v_lo, v), v_hi = std::max(v_hi, v);
  }
  const double step = 2.0 / kResolution;
  const auto first = [&](double lo) { return std::max(0, int(std::ceil((lo + 1) / step - 0.5 - 1e-9))); };
  const auto last = [&](double hi) {
    return std::min(kResolution - 1, int(std::floor((hi + 1) / step - 0.5 + 1e-9)));
  };
  const int i0 = first(u_lo), i1 = last(u_hi), j0 = first(v_lo), j1 = last(v_hi);
  // x . (direction of cell u, v) = x_k sign + x_u u + x_v v, for the three edges and the
  // normal.
  const Vec* forms[4] = {&t.edge[0], &t.edge[1], &t.edge[2], &t.normal};
  double along_k[4], along_u[4], along_v[4];
  for (int n = 0; n < 4; ++n) {
    along_k[n] = face.sign * (*forms[n])[std::size_t(face.k)];
    along_u[n] = (*forms[n])[std::size_t(face.u)];
    along_v[n] = (*forms[n])[std::size_t(face.v)];
  }
  const Cell* cells = Cells().data();
  float* radii = radii_.data() + std::size_t(f) * std::size_t(kResolution * kResolution);
  for (int i = i0; i <= i1; ++i) {
    const double cu = CellCentre(i, kResolution);
    double row[4];
    for (int n = 0; n < 4; ++n) row[n] = along_k[n] + along_u[n] * cu;
    for (int j = j0; j <= j1; ++j) {
      const double cv = CellCentre(j, kResolution);
      if (row[0] + along_v[0] * cv < t.slack[0] || row[1] + along_v[1] * cv < t.slack[1] ||
          row[2] + along_v[2] * cv < t.slack[2])
        continue;
      const double along = t.reach / (row[3] + along_v[3] * cv);
      if (!(along > 0) || !std::isfinite(along)) continue;
      const float r = float(along * cells[i * kResolution + j].length);
      float& cell = radii[i * kResolution + j];
      if (r > cell) cell = r;
    }
  }
}

bool SolidBuilder::Finish(Solid* out) {
  const int n = resolution_;
  std::size_t empty = 0;
  for (float r : radii_) empty += r < 0;
  // A closed surface around the centre meets every ray; a few may pass through cracks of a
  // table that is not quite continuous.
  if (empty > radii_.size() / 100) return false;
  while (empty > 0) {
    std::size_t filled = 0;
    for (int f = 0; f < 6; ++f)
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          float* cell = &radii_[std::size_t((f * n + i) * n + j)];
          if (*cell >= 0) continue;
          double sum = 0;
          int count = 0;
          const int di[4] = {-1, 1, 0, 0}, dj[4] = {0, 0, -1, 1};
          for (int k = 0; k < 4; ++k) {
            const int a = i + di[k], b = j + dj[k];
            if (a < 0 || b < 0 || a >= n || b >= n) continue;
            const float r = radii_[std::size_t((f * n + a) * n + b)];
            if (r >= 0) sum += r, ++count;
          }
          if (count == 0) continue;
          *cell = float(sum / count);
          ++filled;
        }
    if (filled == 0) return false;
    empty -= filled;
  }

  Solid s;
  s.resolution_ = n;
  for (int c = 0; c < 3; ++c) {
    s.centre_[c] = centre_[std::size_t(c)];
    s.low_[c] = s.high_[c] = centre_[std::size_t(c)];
  }
  const std::vector<Cell>& cells = Cells();
  double volume = 0;
  for (int f = 0; f < 6; ++f) {
    const CubeFace face = FaceOf(f);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        const double r = radii_[std::size_t((f * n + i) * n + j)];
        const Cell& cell = cells[std::size_t(i * n + j)];
        volume += cell.angle * r * r * r / 3;
        const double cu = CellCentre(i, n), cv = CellCentre(j, n), len = cell.length;
        double point[3];
        point[face.k] = face.sign / len;
        point[face.u] = cu / len;
        point[face.v] = cv / len;
        for (int c = 0; c < 3; ++c) {
          const double x = s.centre_[c] + r * point[c];
          s.low_[c] = std::min(s.low_[c], x);
          s.high_[c] = std::max(s.high_[c], x);
        }
      }
  }
  s.volume_ = volume;
  s.radii_ = std::move(radii_);
  *out = std::move(s);
  return true;
}

// Bilinear between the four nearest cell centres of the face, so that two solids that share
// a stretch of surface agree on which side of it a colour lies.
float Solid::RadiusToward(double dx, double dy, double dz) const {
  const double d[3] = {dx, dy, dz};
  const double m[3] = {std::fabs(dx), std::fabs(dy), std::fabs(dz)};
  const int k = m[0] >= m[1] && m[0] >= m[2] ? 0 : m[1] >= m[2] ? 1 : 2;
  const int f = 2 * k + (d[k] < 0);
  const double scale = resolution_ / (2 * m[k]);
  const auto at = [&](double x, int* cell) {  // x: the centre of cell *cell plus a fraction
    x = std::clamp(x * scale + resolution_ * 0.5 - 0.5, 0.0, resolution_ - 1.0);
    *cell = std::min(int(x), resolution_ - 2);
    return x - *cell;
  };
  int i, j;
  const double fu = at(d[(k + 1) % 3], &i), fv = at(d[(k + 2) % 3], &j);
  const float* r = &radii_[std::size_t((f * resolution_ + i) * resolution_ + j)];
  const double near = r[0] + fv * (r[1] - r[0]);
  const double far = r[resolution_] + fv * (r[resolution_ + 1] - r[resolution_]);
  return float(near + fu * (far - near));
}

bool Solid::Contains(double L, double a, double b) const {
  if (empty()) return false;
  const double dx = L - centre_[0], dy = a - centre_[1], dz = b - centre_[2];
  const double d2 = dx * dx + dy * dy + dz * dz;
  if (d2 == 0) return true;
  const double r = RadiusToward(dx, dy, dz);
  return d2 <= r * r;
}

namespace {

// The solid of the image of the device cube's 2-faces under `h`'s forward transform into
// CIELAB.  For a Lab or XYZ data space the cube is the encoding's range.
icc::Result SolidOfLcms(cmsHPROFILE h, uint64_t work, Solid* out) {
  const int channels = cmsChannelsOfColorSpace(cmsGetColorSpace(h));
  const std::vector<Face> faces = CubeFaces(channels);
  if (faces.empty()) return Invalid();
  int side = channels > 3 ? kSideOfMore : kSide;
  while (side > 2 && (SurfaceCost(faces.size(), side, channels) > work ||
                      faces.size() * std::size_t(side * side) > kMaxSamples))
    side = (side + 1) / 2;
  if (SurfaceCost(faces.size(), side, channels) > work || faces.size() * 4 > kMaxSamples)
    return {icc::Status::OutOfMemory, 0};

  std::vector<uint16_t> device = SampleFaces(faces, side, channels);
  device.insert(device.end(), std::size_t(channels), 0x8000);  // the middle of the cube
  const std::size_t count = device.size() / std::size_t(channels);

  std::vector<cmsCIELab> pcs(count);
  const icc::Result r = TransformSamples(h, device, true, pcs.data());
  if (!r.ok()) return r;

  std::vector<Vec> points(count);
  std::vector<bool> usable(count);
  Vec mean{0, 0, 0};
  std::size_t used = 0;
  for (std::size_t k = 0; k < count; ++k) {
    points[k] = {pcs[k].L, pcs[k].a, pcs[k].b};
    usable[k] = std::all_of(points[k].begin(), points[k].end(),
                            [](double x) { return std::fabs(x) < kFar; });
    if (usable[k] && k + 1 < count) {
      for (int c = 0; c < 3; ++c) mean[std::size_t(c)] += points[k][std::size_t(c)];
      ++used;
    }
  }
  if (used == 0) return Invalid();
  for (double& c : mean) c /= double(used);

  // The middle of the device space lies inside its image; the mean of the surface does
  // where the middle is not usable.
  const Vec middle = usable[count - 1] ? points[count - 1] : mean;
  for (const Vec& centre : {middle, mean}) {
    SolidBuilder builder(centre);
    for (std::size_t f = 0; f < faces.size(); ++f)
      for (int i = 0; i + 1 < side; ++i)
        for (int j = 0; j + 1 < side; ++j) {
          const std::size_t k = (f * std::size_t(side) + std::size_t(i)) * std::size_t(side) + std::size_t(j);
          const std::size_t right = k + 1, below = k + std::size_t(side), across = below + 1;
          if (usable[k] && usable[below] && usable[right]) builder.Add(points[k], points[below], points[right]);
          if (usable[right] && usable[below] && usable[across]) builder.Add(points[right], points[below], points[across]);
        }
    if (builder.Finish(out)) return {};
  }
  return Invalid();
}

}  // namespace

NoSolid NoSolidOf(uint32_t device_class, uint32_t colour_space) {
  const int channels = cmsChannelsOfColorSpace(cmsColorSpaceSignature(colour_space));
  if (device_class == cmsSigAbstractClass) return NoSolid::Abstract;
  if (device_class == cmsSigLinkClass) return NoSolid::DeviceLink;
  if (device_class == cmsSigNamedColorClass) return NoSolid::NamedColours;
  if (channels == 1) return NoSolid::Gray;
  if (channels == 2) return NoSolid::TwoChannels;
  return NoSolid::None;
}

namespace {

SolidResult SolidIn(icc::Profile& profile, cmsContext context, const Limits& limits,
                    bool* refused, Solid* out) {
  LcmsProfile h(OpenLcmsProfile(profile, context, limits.tag_bytes, refused));
  if (!h.h) return {Invalid()};
  const NoSolid none = NoSolidOf(cmsGetDeviceClass(h.h), cmsGetColorSpace(h.h));
  if (none != NoSolid::None) {
    *out = Solid();
    return {{}, none};
  }
  return {SolidOfLcms(h.h, limits.interpolation, out)};
}

// A matrix/TRC profile of RGB primaries (CIE xy) with a D65 white.
cmsHPROFILE ReferenceProfile(Reference reference) {
  struct Row {
    double primaries[6];
    int curve_type;
    double curve[5];
  };
  // sRGB's curve, parametric type 4: (a x + b)^g above d, c x below.
  constexpr double kSrgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  static const Row rows[kReferenceCount] = {
      {{0.64, 0.33, 0.30, 0.60, 0.15, 0.06}, 4, {kSrgbCurve[0], kSrgbCurve[1], kSrgbCurve[2], kSrgbCurve[3], kSrgbCurve[4]}},
      {{0.64, 0.33, 0.21, 0.71, 0.15, 0.06}, 1, {563.0 / 256}},
      {{0.680, 0.320, 0.265, 0.690, 0.150, 0.060}, 4, {kSrgbCurve[0], kSrgbCurve[1], kSrgbCurve[2], kSrgbCurve[3], kSrgbCurve[4]}},
      // The inverse of BT.709's and BT.2020's camera curve.
      {{0.708, 0.292, 0.170, 0.797, 0.131, 0.046}, 4, {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081}},
  };
  const Row& row = rows[int(reference)];
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{row.primaries[0], row.primaries[1], 1.0},
                                  {row.primaries[2], row.primaries[3], 1.0},
                                  {row.primaries[4], row.primaries[5], 1.0}};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, row.curve_type, row.curve);
  if (!curve) return nullptr;
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE h = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return h;
}

}  // namespace

const char* ReferenceName(Reference reference) {
  switch (reference) {
    case Reference::Srgb: return "sRGB";
    case Reference::AdobeRgb: return "Adobe RGB";
    case Reference::DisplayP3: return "Display P3";
    case Reference::Rec2020: return "Rec. 2020";
  }
  return "";
}

std::string Thousands(uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

bool ReferenceOfShortName(const std::string& name, Reference* reference) {
  static const char* const kShortNames[kReferenceCount] = {"srgb", "adobergb", "p3", "rec2020"};
  for (int i = 0; i < kReferenceCount; ++i) {
    const std::string alias = kShortNames[i];
    if (name.size() != alias.size()) continue;
    std::size_t k = 0;
    while (k < alias.size() && char(name[k] >= 'A' && name[k] <= 'Z' ? name[k] - 'A' + 'a' : name[k]) == alias[k]) ++k;
    if (k == alias.size()) {
      *reference = Reference(i);
      return true;
    }
  }
  return false;
}

const char* NoSolidText(NoSolid none) {
  switch (none) {
    case NoSolid::None: return "the profile's colours fill a solid";
    case NoSolid::Gray: return "a gray profile holds a line of colours, not a solid";
    case NoSolid::NamedColours: return "a named-colour profile holds a list of colours, not a solid";
    case NoSolid::DeviceLink: return "a device link joins two devices and has no gamut of its own";
    case NoSolid::Abstract: return "an abstract profile changes colours and has no gamut of its own";
    case NoSolid::TwoChannels: return "a two-channel profile holds a surface of colours, not a solid";
  }
  return "";
}

SolidResult ComputeSolid(icc::Profile& profile, Solid* out, const Limits& limits) {
  SolidResult answer;
  answer.result = WithinBudget(profile, limits.memory, [&](cmsContext context, bool* refused) {
    const SolidResult r = SolidIn(profile, context, limits, refused, out);
    answer.none = r.none;
    return r.result;
  });
  if (!answer.result.ok()) answer.none = NoSolid::None;
  return answer;
}

const Solid& ReferenceSolid(Reference reference) {
  static const std::array<Solid, kReferenceCount> solids = [] {
    std::array<Solid, kReferenceCount> all;
    for (int i = 0; i < kReferenceCount; ++i) {
      LcmsProfile h(ReferenceProfile(Reference(i)));
      if (h.h) SolidOfLcms(h.h, UINT64_MAX, &all[std::size_t(i)]);
    }
    return all;
  }();
  return solids[std::size_t(reference)];
}

double Coverage(const Solid& solid, const Solid& reference) {
  if (solid.empty() || reference.empty()) return 0;
  double low[3], high[3];
  SolidBuilder::Box(reference, low, high);
  const double box = (high[0] - low[0]) * (high[1] - low[1]) * (high[2] - low[2]);
  const double step = std::max(1.0, std::cbrt(box / kCoverageSamples));
  int steps[3];
  for (int c = 0; c < 3; ++c) steps[c] = std::max(1, int(std::ceil((high[c] - low[c]) / step)));
  uint64_t inside = 0, both = 0;
  for (int i = 0; i < steps[0]; ++i) {
    const double L = low[0] + (i + 0.5) * step;
    for (int j = 0; j < steps[1]; ++j) {
      const double a = low[1] + (j + 0.5) * step;
      for (int k = 0; k < steps[2]; ++k) {
        const double b = low[2] + (k + 0.5) * step;
        if (!reference.Contains(L, a, b)) continue;
        ++inside;
        both += solid.Contains(L, a, b);
      }
    }
  }
  return inside ? 100.0 * double(both) / double(inside) : 0;
}

double RelativeVolume(const Solid& solid, const Solid& reference) {
  return reference.volume() > 0 ? 100 * solid.volume() / reference.volume() : 0;
}

std::vector<Solid::LabPoint> Solid::Surface(int* cells) const {
  *cells = resolution_;
  std::vector<LabPoint> points;
  if (empty()) return points;
  const int n = resolution_, side = n + 1;
  points.reserve(std::size_t(6 * side * side));
  for (int f = 0; f < 6; ++f) {
    const CubeFace face = FaceOf(f);
    for (int i = 0; i < side; ++i)
      for (int j = 0; j < side; ++j) {
        double d[3];
        d[face.k] = face.sign;
        d[face.u] = -1 + 2.0 * i / n;
        d[face.v] = -1 + 2.0 * j / n;
        const double r = RadiusToward(d[0], d[1], d[2]) / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        points.push_back({centre_[0] + r * d[0], centre_[1] + r * d[1], centre_[2] + r * d[2]});
      }
  }
  return points;
}

}  // namespace gamut
