#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <atomic>
#include <thread>

namespace gamut {
namespace {

// The diagram's window on the xy plane: a square that holds the spectral locus.
constexpr double kLeft = -0.03, kBottom = -0.01, kSpan = 0.86;

struct P {
  double x, y;
};

// The sRGB encoding, lightened for the diagram's tint, of linear values in 1/1023 steps.
std::vector<uint8_t> TintEncoding() {
  std::vector<uint8_t> t(1024);
  for (std::size_t i = 0; i < t.size(); ++i) {
    const double c = double(i) / 1023;
    const double e = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    t[i] = uint8_t(std::lround(255 * (0.62 + 0.38 * e)));
  }
  return t;
}
const std::vector<uint8_t> kTintEncoding = TintEncoding();

// Blank diagrams already drawn, by size, under a spin lock: the lock is held for a copy,
// and needs no system object (a shell extension is loaded and unloaded many times).
struct Layer {
  int size;
  bool tinted;
  std::vector<uint32_t> pixels;
};
std::vector<Layer> g_layers;
std::atomic_flag g_layers_busy = ATOMIC_FLAG_INIT;

class LayersLock {
 public:
  LayersLock() {
    while (g_layers_busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~LayersLock() { g_layers_busy.clear(std::memory_order_release); }
};

// A coverage mask the shapes are drawn into, then painted onto the pixels in one colour
// (or a colour per pixel) with the "over" operator.
class Canvas {
 public:
  explicit Canvas(int size, std::vector<uint32_t>* pixels)
      : n_(size), px_(*pixels), mask_(std::size_t(size) * std::size_t(size), 0.f) {
    px_.assign(std::size_t(size) * std::size_t(size), 0);
    Reset();
  }

  int size() const { return n_; }
  const std::vector<uint32_t>& pixels() const { return px_; }
  void SetPixels(const std::vector<uint32_t>& pixels) { px_ = pixels; }

  // Even-odd fill with exact horizontal coverage on four sub-scanlines per row.
  void Fill(const std::vector<P>& poly) {
    if (poly.size() < 3) return;
    constexpr int kSub = 4;
    double top = poly[0].y, bottom = poly[0].y;
    for (const P& p : poly) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    const int y0 = std::max(0, int(std::floor(top))), y1 = std::min(n_ - 1, int(std::ceil(bottom)));
    std::vector<float> acc(std::size_t(n_) + 1);
    std::vector<double> xs;
    for (int y = y0; y <= y1; ++y) {
      std::fill(acc.begin(), acc.end(), 0.f);
      bool any = false;
      for (int s = 0; s < kSub; ++s) {
        const double sy = y + (s + 0.5) / kSub;
        xs.clear();
        for (std::size_t i = 0; i < poly.size(); ++i) {
          const P& a = poly[i];
          const P& b = poly[(i + 1) % poly.size()];
          if ((a.y <= sy) != (b.y <= sy)) xs.push_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
          const double xa = std::clamp(xs[i], 0.0, double(n_)), xb = std::clamp(xs[i + 1], 0.0, double(n_));
          if (xb <= xa) continue;
          any = true;
          const int ia = int(xa), ib = int(xb);
          if (ia == ib) {
            acc[std::size_t(ia)] += float((xb - xa) / kSub);
          } else {
            acc[std::size_t(ia)] += float((ia + 1 - xa) / kSub);
            for (int i2 = ia + 1; i2 < ib; ++i2) acc[std::size_t(i2)] += 1.f / kSub;
            acc[std::size_t(ib)] += float((xb - ib) / kSub);
          }
        }
      }
      if (!any) continue;
      float* row = &mask_[std::size_t(y) * std::size_t(n_)];
      for (int x = 0; x < n_; ++x)
        if (acc[std::size_t(x)] > 0) row[x] = std::max(row[x], std::min(1.f, acc[std::size_t(x)]));
      Touch(0, y, n_ - 1, y);
    }
  }

  // A line of `width` pixels with round ends along `line`; `dash`, when not 0, is the
  // length of both the dashes and the gaps.
  void Stroke(const std::vector<P>& line, bool closed, double width, double dash = 0) {
    const double half = width / 2;
    double along = 0;
    const std::size_t segments = closed ? line.size() : line.size() - 1;
    for (std::size_t i = 0; i < segments && line.size() > 1; ++i) {
      const P& a = line[i];
      const P& b = line[(i + 1) % line.size()];
      const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy, len = std::sqrt(len2);
      const int x0 = std::max(0, int(std::floor(std::min(a.x, b.x) - half - 1)));
      const int x1 = std::min(n_ - 1, int(std::ceil(std::max(a.x, b.x) + half + 1)));
      const int y0 = std::max(0, int(std::floor(std::min(a.y, b.y) - half - 1)));
      const int y1 = std::min(n_ - 1, int(std::ceil(std::max(a.y, b.y) + half + 1)));
      const double reach = half + 0.5, reach2 = reach * reach;
      for (int y = y0; y <= y1; ++y) {
        // Only pixels whose nearest point of the segment lies within `reach` of the row.
        int xa = x0, xb = x1;
        if (std::fabs(dy) > 1e-9) {
          const double cy = y + 0.5 - a.y;
          const double t0 = std::clamp((cy - reach) / dy, 0.0, 1.0), t1 = std::clamp((cy + reach) / dy, 0.0, 1.0);
          const double u0 = t0 * dx, u1 = t1 * dx;
          xa = std::max(x0, int(std::floor(a.x + std::min(u0, u1) - reach)));
          xb = std::min(x1, int(std::ceil(a.x + std::max(u0, u1) + reach)));
        }
        for (int x = xa; x <= xb; ++x) {
          const double px = x + 0.5 - a.x, py = y + 0.5 - a.y;
          const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0;
          const double ex = px - t * dx, ey = py - t * dy, d2 = ex * ex + ey * ey;
          if (d2 >= reach2) continue;
          if (dash > 0 && std::fmod(along + t * len, 2 * dash) > dash) continue;
          const float c = float(std::min(1.0, reach - std::sqrt(d2)));
          float& m = mask_[std::size_t(y) * std::size_t(n_) + std::size_t(x)];
          if (c > m) m = c;
        }
      }
      Touch(x0, y0, x1, y1);
      along += len;
    }
  }

  void Disc(P c, double r) {
    const int x0 = std::max(0, int(c.x - r - 1)), x1 = std::min(n_ - 1, int(c.x + r + 1));
    const int y0 = std::max(0, int(c.y - r - 1)), y1 = std::min(n_ - 1, int(c.y + r + 1));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const double ex = x + 0.5 - c.x, ey = y + 0.5 - c.y, d2 = ex * ex + ey * ey;
        if (d2 >= (r + 0.5) * (r + 0.5)) continue;
        const float v = float(std::min(1.0, r + 0.5 - std::sqrt(d2)));
        float& m = mask_[std::size_t(y) * std::size_t(n_) + std::size_t(x)];
        if (v > m) m = v;
      }
    Touch(x0, y0, x1, y1);
  }

  // Paints the mask with colour(x, y) (0xAARRGGBB) over the pixels and clears it.
  template <class Colour>
  void PaintWith(Colour colour) {
    for (int y = box_[1]; y <= box_[3]; ++y)
      for (int x = box_[0]; x <= box_[2]; ++x) {
        float& m = mask_[std::size_t(y) * std::size_t(n_) + std::size_t(x)];
        if (m <= 0) continue;
        Over(px_[std::size_t(y) * std::size_t(n_) + std::size_t(x)], colour(x, y), m);
        m = 0;
      }
    Reset();
  }
  void Paint(uint32_t argb) {
    PaintWith([argb](int, int) { return argb; });
  }

 private:
  // Straight-alpha "over", with the common cases (opaque paint, empty or opaque pixel)
  // kept free of divisions.
  static void Over(uint32_t& dst, uint32_t src, float coverage) {
    const float sa = float(src >> 24) * (1 / 255.f) * coverage;
    if (sa >= 0.999f) {
      dst = src | 0xFF000000u;
      return;
    }
    const uint32_t da8 = dst >> 24;
    if (da8 == 0) {
      dst = (src & 0xFFFFFFu) | uint32_t(sa * 255 + 0.5f) << 24;
      return;
    }
    const float da = float(da8) * (1 / 255.f);
    const float oa = sa + da * (1 - sa);
    const float ws = sa / oa, wd = da * (1 - sa) / oa;
    uint32_t out = uint32_t(oa * 255 + 0.5f) << 24;
    for (int shift = 16; shift >= 0; shift -= 8) {
      const float c = float((src >> shift) & 0xFF) * ws + float((dst >> shift) & 0xFF) * wd;
      out |= uint32_t(c + 0.5f) << shift;
    }
    dst = out;
  }
  void Touch(int x0, int y0, int x1, int y1) {
    box_[0] = std::min(box_[0], x0), box_[1] = std::min(box_[1], y0);
    box_[2] = std::max(box_[2], x1), box_[3] = std::max(box_[3], y1);
  }
  void Reset() { box_[0] = box_[1] = n_, box_[2] = box_[3] = -1; }

  int n_;
  std::vector<uint32_t>& px_;
  std::vector<float> mask_;
  int box_[4];
};

// --- lettering ---------------------------------------------------------------------------

// Capitals as strokes on a grid 4 wide and 6 high (y down): digit pairs are points, a blank
// starts a new stroke.
struct Glyph {
  char c;
  const char* strokes;
};
const Glyph kGlyphs[] = {
    {'A', "062046 1434"},       {'B', "06003041423303 3344453606"},
    {'C', "4130100105163645"},  {'D', "00062644422000"},
    {'E', "40000646 0333"},     {'I', "1030 2026 1636"},
    {'K', "0006 4004 1346"},    {'L', "000646"},
    {'N', "06004640"},          {'R', "06003041423303 2346"},
    {'S', "413010010213334445361605"}, {'T', "0040 2026"},
    {'V', "002640"},            {'X', "0046 4006"},
    {'Y', "002340 2326"},       {'Z', "00400646"},
};

double TextWidth(const char* text, double unit) {
  const std::size_t n = std::strlen(text);
  return n == 0 ? 0 : (double(n) * 6 - 2) * unit;
}

// Strokes `text` with its top left corner at `at`, each grid step `unit` pixels.
void Letter(Canvas& canvas, const char* text, P at, double unit) {
  for (; *text; ++text, at.x += 6 * unit) {
    for (const Glyph& g : kGlyphs) {
      if (g.c != *text) continue;
      std::vector<P> stroke;
      for (const char* p = g.strokes;; ++p) {
        if (*p == ' ' || *p == 0) {
          canvas.Stroke(stroke, false, unit * 0.9);
          stroke.clear();
          if (*p == 0) break;
          continue;
        }
        stroke.push_back({at.x + (p[0] - '0') * unit, at.y + (p[1] - '0') * unit});
        ++p;
      }
    }
  }
}

// --- the diagram -------------------------------------------------------------------------

class Diagram {
 public:
  Diagram(int size, std::vector<uint32_t>* pixels)
      : canvas_(size, pixels), n_(size), scale_(size / 256.0), simple_(size <= kSimpleSize) {}

  P At(Point c) const {
    return {(c.x - kLeft) / kSpan * n_, n_ - (c.y - kBottom) / kSpan * n_};
  }
  std::vector<P> At(const std::vector<Point>& cs) const {
    std::vector<P> out;
    out.reserve(cs.size());
    for (const Point& c : cs) out.push_back(At(c));
    return out;
  }
  double Px(double at256, double least) const { return std::max(least, at256 * scale_); }

  // The diagram without a gamut is the same for every picture of a size: it is drawn once
  // and kept for the next pictures (a folder of thumbnails asks for one size).
  void Background(bool tinted) {
    {
      LayersLock hold;
      for (const Layer& l : g_layers)
        if (l.size == n_ && l.tinted == tinted) return canvas_.SetPixels(l.pixels);
    }
    DrawBackground(tinted);
    LayersLock hold;
    if (g_layers.size() == 4) g_layers.erase(g_layers.begin());
    g_layers.push_back({n_, tinted, canvas_.pixels()});
  }

  void DrawBackground(bool tinted) {
    const std::vector<P> locus = At(SpectralLocus());
    canvas_.Fill(locus);
    if (tinted && !simple_) {
      canvas_.PaintWith([this](int x, int y) { return Tint(x, y); });
    } else {
      canvas_.Paint(tinted ? 0xFFE4EBF2 : 0xFFEDEDED);
    }
    if (tinted && !simple_) {
      canvas_.Stroke(At(SrgbTriangle()), true, Px(1, 0.8));
      canvas_.Paint(0xFF8C8C8C);
    }
  }

  void Locus() {
    canvas_.Stroke(At(SpectralLocus()), true, Px(1.2, 1));
    canvas_.Paint(simple_ ? 0xFF8A8A8A : 0xFF6E6E6E);
  }

  void Region(const std::vector<Point>& outline) {
    const std::vector<P> poly = At(outline);
    canvas_.Fill(poly);
    canvas_.Paint(simple_ ? 0xB02B3A8C : 0x552B3A8C);
    canvas_.Stroke(poly, true, Px(2.4, 1.2));
    canvas_.Paint(0xFF1C2657);
  }

  void Dashed(const std::vector<Point>& outline) {
    canvas_.Stroke(At(outline), true, Px(2, 1), Px(7, 2.5));
    canvas_.Paint(0xFFC0392B);
  }

  void Dot(Point c, uint32_t rgb, double radius) {
    const P p = At(c);
    const double r = Px(radius, 1.2);
    if (!simple_) {
      canvas_.Disc(p, r + Px(1, 0.8));
      canvas_.Paint(0xFF202020);
    }
    canvas_.Disc(p, r);
    canvas_.Paint(0xFF000000 | rgb);
  }

  // The grey levels in a framed bar in the empty corner above the locus.
  void Ramp(const std::vector<uint8_t>& levels) {
    if (levels.empty()) return;
    const double left = n_ * 0.52, right = n_ * 0.95, top = n_ * 0.05, bottom = n_ * (simple_ ? 0.22 : 0.14);
    const double step = (right - left) / double(levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
      const double x0 = left + step * double(i), x1 = x0 + step;
      canvas_.Fill({{x0, top}, {x1, top}, {x1, bottom}, {x0, bottom}});
      const uint32_t g = levels[i];
      canvas_.Paint(0xFF000000 | g << 16 | g << 8 | g);
    }
    canvas_.Stroke({{left, top}, {right, top}, {right, bottom}, {left, bottom}}, true, Px(1, 0.8));
    canvas_.Paint(0xFF505050);
  }

  // A label across the middle on a light plate.
  void Label(const char* text) {
    const double unit = std::min(Px(4, 1), n_ * 0.8 / std::max(1.0, TextWidth(text, 1)));
    const double w = TextWidth(text, unit), h = 6 * unit;
    const P at{(n_ - w) / 2, (n_ - h) / 2};
    const double pad = 2 * unit;
    canvas_.Fill({{at.x - pad, at.y - pad}, {at.x + w + pad, at.y - pad},
                  {at.x + w + pad, at.y + h + pad}, {at.x - pad, at.y + h + pad}});
    canvas_.Paint(0xE6FFFFFF);
    Letter(canvas_, text, at, unit);
    canvas_.Paint(0xFF404040);
  }

  bool simple() const { return simple_; }

 private:
  // The light colour of the chromaticity under pixel (x, y).
  uint32_t Tint(int x, int y) const {
    const double cx = kLeft + (x + 0.5) / n_ * kSpan, cy = kBottom + (n_ - y - 0.5) / n_ * kSpan;
    if (cy <= 1e-4) return 0xFFFFFFFF;
    const double X = cx / cy, Z = (1 - cx - cy) / cy;
    double rgb[3] = {3.2406 * X - 1.5372 - 0.4986 * Z, -0.9689 * X + 1.8758 + 0.0415 * Z,
                     0.0557 * X - 0.2040 + 1.0570 * Z};
    double top = 0;
    for (double& c : rgb) top = std::max(top, c = std::max(c, 0.0));
    if (top <= 0) return 0xFFFFFFFF;
    uint32_t out = 0xFF;
    for (double c : rgb) out = out << 8 | kTintEncoding[std::size_t(c / top * 1023 + 0.5)];
    return out;
  }

  Canvas canvas_;
  int n_;
  double scale_;
  bool simple_;
};

}  // namespace

bool Render(const Gamut& g, const Gamut* compare, int size, std::vector<uint32_t>* argb) {
  if (size < kMinSize || size > kMaxSize || !argb) return false;
  Diagram d(size, argb);
  d.Background(g.kind != Kind::Neutral);
  switch (g.kind) {
    case Kind::Matrix:
    case Kind::Lut:
      d.Region(g.outline);
      break;
    case Kind::Gray:
      d.Ramp(g.ramp);
      break;
    case Kind::NamedColours:
    case Kind::Neutral:
      break;
  }
  if (compare && (compare->kind == Kind::Matrix || compare->kind == Kind::Lut))
    d.Dashed(compare->outline);
  d.Locus();
  if (g.kind == Kind::NamedColours)
    for (const NamedColour& c : g.colours) d.Dot(c.xy, c.rgb, 2.5);
  if (g.kind == Kind::Neutral) {
    d.Label(d.simple() ? g.short_label : g.label);
  } else if (!d.simple() || g.kind == Kind::Gray) {
    d.Dot(g.white, 0xFFFFFF, 3.5);
  }
  return true;
}

}  // namespace gamut
