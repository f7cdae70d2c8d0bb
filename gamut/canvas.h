// The pixel canvas both pictures draw on, and the bitmap font of their lettering: internal
// to the gamut library.  Portable C++.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace gamut {
namespace paint {

struct P {
  double x, y;
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

  // A rectangle of whole pixels, x0 <= x < x1, y0 <= y < y1.
  void Block(int x0, int y0, int x1, int y1) {
    x0 = std::max(0, x0), y0 = std::max(0, y0), x1 = std::min(n_, x1), y1 = std::min(n_, y1);
    for (int y = y0; y < y1; ++y)
      std::fill_n(&mask_[std::size_t(y) * std::size_t(n_) + std::size_t(x0)], std::max(0, x1 - x0), 1.f);
    if (x0 < x1 && y0 < y1) Touch(x0, y0, x1 - 1, y1 - 1);
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

// Printable ASCII in cells 5 pixels wide and 8 high (the baseline under the seventh row):
// each glyph is 8 rows of 5 bits, the top row in the highest bits.
inline constexpr uint64_t kFont[95] = {
    0x0000000000ull, 0x2108420080ull, 0x5280000000ull, 0x52BEAFA940ull, 0x23E8E2F880ull, 0xC644444C60ull,
    0x64A88AC9A0ull, 0x2100000000ull, 0x1110841040ull, 0x4104211100ull, 0x012AEA9000ull, 0x0109F21000ull,
    0x0000001088ull, 0x0001F00000ull, 0x0000000080ull, 0x0884442200ull, 0x74675CC5C0ull, 0x23084211C0ull,
    0x74422223E0ull, 0xF88820C5C0ull, 0x11952F8840ull, 0xFC3C10C5C0ull, 0x3221E8C5C0ull, 0xF844442100ull,
    0x7462E8C5C0ull, 0x7462F08980ull, 0x0008001000ull, 0x0008001088ull, 0x1111041040ull, 0x003E0F8000ull,
    0x4104111100ull, 0x7442220080ull, 0x7442DAD5C0ull, 0x7463F8C620ull, 0xF463E8C7C0ull, 0x74610845C0ull,
    0xE4A318CB80ull, 0xFC21E843E0ull, 0xFC21E84200ull, 0x746178C5E0ull, 0x8C63F8C620ull, 0x71084211C0ull,
    0x3884214980ull, 0x8CA98A4A20ull, 0x84210843E0ull, 0x8EEB58C620ull, 0x8C7359C620ull, 0x746318C5C0ull,
    0xF463E84200ull, 0x74631AC9A0ull, 0xF463EA4A20ull, 0x7C20E087C0ull, 0xF908421080ull, 0x8C6318C5C0ull,
    0x8C6318A880ull, 0x8C635AD540ull, 0x8C54454620ull, 0x8C54421080ull, 0xF8444443E0ull, 0x72108421C0ull,
    0x8210410820ull, 0x70842109C0ull, 0x22A2000000ull, 0x000000001Full, 0x4100000000ull, 0x001C17C5E0ull,
    0x843D18C7C0ull, 0x001D0845C0ull, 0x085F18C5E0ull, 0x001D1FC1C0ull, 0x3251C42100ull, 0x001F18BC2Eull,
    0x842D98C620ull, 0x20184211C0ull, 0x100C210A4Cull, 0x84254C5240ull, 0x61084211C0ull, 0x00355AD6A0ull,
    0x002D98C620ull, 0x001D18C5C0ull, 0x003D18FA10ull, 0x001F18BC21ull, 0x002D984200ull, 0x001F0707C0ull,
    0x42388424C0ull, 0x002318CDA0ull, 0x002318A880ull, 0x00231AD540ull, 0x0022A22A20ull, 0x002318BC2Eull,
    0x003E2223E0ull, 0x1108821040ull, 0x2108421080ull, 0x4108221100ull, 0x0011510000ull,

};

// Text in the bitmap font, whole pixels of `unit`; other characters show as '?' (one for
// each UTF-8 sequence).
struct Bitmap {
  int unit;
  // At most `most` characters: a longer text is cut by Fit anyway.
  static std::string Printable(const std::string& utf8, std::size_t most = std::string::npos) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size() && out.size() < most; ++i) {
      const unsigned char c = utf8[i];
      if (c < 0x80 || c >= 0xC0) out += c >= 0x20 && c < 0x7F ? char(c) : '?';
    }
    return out;
  }
  // Pixels of `n` characters, as wide as an int holds.
  int Width(std::size_t n) const {
    const std::size_t most = std::size_t(INT_MAX) / std::size_t(6 * unit);
    return n == 0 ? 0 : n >= most ? INT_MAX : (int(n) * 6 - 1) * unit;
  }
  int Width(const std::string& text) const { return Width(text.size()); }
  // Top left corner at (x, y); the text must be Printable.
  void Draw(Canvas& canvas, const std::string& text, int x, int y) const {
    for (char c : text) {
      const uint64_t glyph = kFont[c - 0x20];
      for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 5; ++col)
          if (glyph >> ((7 - row) * 5 + (4 - col)) & 1)
            canvas.Block(x + col * unit, y + row * unit, x + (col + 1) * unit, y + (row + 1) * unit);
      x += 6 * unit;
    }
  }
  // `text` cut to `width` pixels, with "..." where it was cut.
  // Characters are all one width: how many fit is counted, not measured one by one.
  std::string Fit(const std::string& text, int width) const {
    if (Width(text) <= width) return text;
    std::size_t kept = width < 0 ? 0 : std::size_t(width / unit + 1) / 6;
    kept = kept > 3 ? kept - 3 : 0;  // room for "..."
    return text.substr(0, kept) + "...";
  }
};

}  // namespace paint
}  // namespace gamut
