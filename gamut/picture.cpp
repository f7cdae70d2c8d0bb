#include "picture.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "canvas.h"

namespace gamut {
namespace {

using paint::Bitmap;
using paint::Canvas;
using paint::P;

// The diagram's window on the xy plane, a square: the one that holds the spectral locus,
// widened for a gamut that reaches beyond it, up to the widest window; what lies beyond that
// is cut, with a mark where.
struct View {
  double left, bottom, span;
  bool operator==(const View& o) const { return left == o.left && bottom == o.bottom && span == o.span; }
};
constexpr View kLocusView{-0.03, -0.01, 0.86};
constexpr double kWidestLow = -0.35, kWidestHigh = 1.15, kViewMargin = 0.02;

// A rectangle of the picture, in pixels.
struct Box {
  double x0, y0, x1, y1;
};

// Where the diagram lies in the picture, in pixels: the whole picture but for the command
// line's axes.
struct Frame {
  double x, y, side;
  bool operator==(const Frame& o) const { return x == o.x && y == o.y && side == o.side; }
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
  View view;
  Frame frame;
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

bool Finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Every point the picture shows of a gamut and of the one it is compared with.
template <class Visit>
void ForEachPoint(const Gamut& g, const Gamut* compare, Visit visit) {
  for (const Point& p : g.outline) visit(p);
  for (const NamedColour& c : g.colours) visit(c.xy);
  if (g.kind != Kind::Neutral) visit(g.white);
  if (compare && (compare->kind == Kind::Matrix || compare->kind == Kind::Lut))
    for (const Point& p : compare->outline) visit(p);
}

View ViewOf(const Gamut& g, const Gamut* compare) {
  double x0 = kLocusView.left, y0 = kLocusView.bottom;
  double x1 = x0 + kLocusView.span, y1 = y0 + kLocusView.span;
  bool wider = false;
  ForEachPoint(g, compare, [&](Point p) {
    // A point on the very edge of the locus view is still drawn whole.
    const double edge = 0.005;
    if (!Finite(p) || (p.x - edge >= x0 && p.x + edge <= x1 && p.y - edge >= y0 && p.y + edge <= y1))
      return;
    wider = true;
    x0 = std::min(x0, std::max(kWidestLow, p.x - kViewMargin));
    x1 = std::max(x1, std::min(kWidestHigh, p.x + kViewMargin));
    y0 = std::min(y0, std::max(kWidestLow, p.y - kViewMargin));
    y1 = std::max(y1, std::min(kWidestHigh, p.y + kViewMargin));
  });
  if (!wider) return kLocusView;
  const double span = std::max(x1 - x0, y1 - y0);
  return {x0 - (span - (x1 - x0)) / 2, y0 - (span - (y1 - y0)) / 2, span};
}

// The lettering, axes and legend of the command line's picture, from this size up.
constexpr int kNotesSize = 160;

class Diagram {
 public:
  Diagram(int size, std::vector<uint32_t>* pixels, View view, Frame frame, bool opaque)
      : canvas_(size, pixels), n_(size), scale_(size / 256.0), simple_(size <= kSimpleSize),
        view_(view), frame_(frame), opaque_(opaque) {}

  P At(Point c) const {
    return {frame_.x + (c.x - view_.left) / view_.span * frame_.side,
            frame_.y + frame_.side - (c.y - view_.bottom) / view_.span * frame_.side};
  }
  std::vector<P> At(const std::vector<Point>& cs) const {
    std::vector<P> out;
    out.reserve(cs.size());
    for (const Point& c : cs) out.push_back(At(c));
    return out;
  }
  double Px(double at256, double least) const { return std::max(least, at256 * scale_); }

  // The diagram without a gamut is the same for every picture of a size and view: it is
  // drawn once and kept for the next pictures (a folder of thumbnails asks for one size).
  void Background(bool tinted) {
    {
      LayersLock hold;
      for (const Layer& l : g_layers)
        if (l.size == n_ && l.tinted == tinted && l.view == view_ && l.frame == frame_)
          return canvas_.SetPixels(l.pixels);
    }
    DrawBackground(tinted);
    LayersLock hold;
    if (g_layers.size() == 4) g_layers.erase(g_layers.begin());
    g_layers.push_back({n_, tinted, view_, frame_, canvas_.pixels()});
  }

  void DrawBackground(bool tinted) {
    if (opaque_) {
      canvas_.Block(0, 0, n_, n_);
      canvas_.Paint(0xFFFFFFFF);
    }
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

  void Dot(Point c, uint32_t rgb, double radius) { DotAt(At(c), rgb, radius); }
  void DotAt(P p, uint32_t rgb, double radius) {
    const double r = Px(radius, 1.2);
    if (!simple_) {
      canvas_.Disc(p, r + Px(1, 0.8));
      canvas_.Paint(0xFF202020);
    }
    canvas_.Disc(p, r);
    canvas_.Paint(0xFF000000 | rgb);
  }

  // The grey levels in a framed bar in the empty corner above the locus, `below` pixels
  // lower where the legend is; returns where it lies.
  Box Ramp(const std::vector<uint8_t>& levels, double below) {
    const double s = frame_.side, left = frame_.x + s * 0.52, right = frame_.x + s * 0.95;
    const double top = frame_.y + below + s * 0.05;
    const double bottom = frame_.y + below + s * (simple_ ? 0.22 : 0.14);
    if (!levels.empty()) RampAt(levels, left, top, right, bottom);
    return {left, top, right, bottom};
  }
  void RampAt(const std::vector<uint8_t>& levels, double left, double top, double right, double bottom) {
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
    const double s = frame_.side;
    const double unit = std::min(Px(4, 1), s * 0.8 / std::max(1.0, TextWidth(text, 1)));
    const double w = TextWidth(text, unit), h = 6 * unit;
    const P at{frame_.x + (s - w) / 2, frame_.y + (s - h) / 2};
    const double pad = 2 * unit;
    Plate(at.x - pad, at.y - pad, at.x + w + pad, at.y + h + pad);
    Letter(canvas_, text, at, unit);
    canvas_.Paint(0xFF404040);
  }

  // Marks where the picture cuts a gamut: a red wedge on the edge of the diagram, pointing
  // to where the points beyond it lie.  True when anything was cut.
  bool CutMarks(const Gamut& g, const Gamut* compare) {
    const double x0 = view_.left, y0 = view_.bottom, x1 = x0 + view_.span, y1 = y0 + view_.span;
    std::vector<P> marked;
    const double size = Px(6, 3);
    ForEachPoint(g, compare, [&](Point p) {
      if (!Finite(p) || (p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1)) return;
      const Point edge{std::clamp(p.x, x0, x1), std::clamp(p.y, y0, y1)};
      const P tip = At(edge);
      for (const P& m : marked)
        if (std::fabs(m.x - tip.x) + std::fabs(m.y - tip.y) < size) return;
      marked.push_back(tip);
      double dx = p.x - edge.x, dy = edge.y - p.y;  // in pixels, y goes down
      const double len = std::hypot(dx, dy);
      dx /= len, dy /= len;
      const P base{tip.x - dx * size, tip.y - dy * size};
      canvas_.Fill({tip, {base.x - dy * size * 0.6, base.y + dx * size * 0.6},
                    {base.x + dy * size * 0.6, base.y - dx * size * 0.6}});
    });
    canvas_.Paint(0xFFD01010);
    return !marked.empty();
  }

  // --- what the command line's picture adds ---

  // White around the frame, over what was drawn beyond it.
  void Margins() {
    const int x0 = int(std::lround(frame_.x)), y0 = int(std::lround(frame_.y));
    const int x1 = int(std::lround(frame_.x + frame_.side)), y1 = int(std::lround(frame_.y + frame_.side));
    canvas_.Block(0, 0, n_, y0);
    canvas_.Block(0, y1, n_, n_);
    canvas_.Block(0, y0, x0, y1);
    canvas_.Block(x1, y0, n_, y1);
    canvas_.Paint(0xFFFFFFFF);
  }

  // The frame with ticks every 0.1 and their values outside it, and the axes' names.
  void Axes(const Bitmap& font) {
    const int u = font.unit;
    const double s = frame_.side, x0 = frame_.x, y0 = frame_.y;
    canvas_.Stroke({{x0, y0}, {x0 + s, y0}, {x0 + s, y0 + s}, {x0, y0 + s}}, true, Px(1, 1));
    const double step = 0.1 * s / view_.span;
    // Values every 0.1, 0.2 or 0.5, as room allows.
    const double room = font.Width("-0.0") + 3 * u;
    const int every = step >= room ? 1 : 2 * step >= room ? 2 : 5;
    const int first = int(std::ceil(view_.left * 10 - 1e-9)), last = int(std::floor((view_.left + view_.span) * 10 + 1e-9));
    for (int i = first; i <= last; ++i) {
      const double x = At({i / 10.0, 0}).x;
      canvas_.Stroke({{x, y0 + s}, {x, y0 + s + 3 * u}}, false, Px(1, 1));
      if (i % every == 0) Text(font, Tick(i), x, y0 + s + 6 * u, 0, -1);
    }
    const int bottom = int(std::ceil(view_.bottom * 10 - 1e-9)), top = int(std::floor((view_.bottom + view_.span) * 10 + 1e-9));
    for (int i = bottom; i <= top; ++i) {
      const double y = At({0, i / 10.0}).y;
      canvas_.Stroke({{x0 - 3 * u, y}, {x0, y}}, false, Px(1, 1));
      if (i % every == 0) Text(font, Tick(i), x0 - 5 * u, y, 1, 0);
    }
    canvas_.Paint(0xFF505050);
    Text(font, "x", x0 + s + 3 * u, y0 + s + 6 * u, -1, -1);
    Text(font, "y", x0 - 5 * u, y0 - 3 * u, 1, 1);
    canvas_.Paint(0xFF303030);
  }

  // Wavelengths in nanometres beside the locus, each with a tick, as many as fit without
  // one label over another.
  void Wavelengths(const Bitmap& font, std::vector<Box> taken) {
    static const int kShown[] = {460, 480, 500, 520, 540, 560, 580, 600, 620, 700,
                                 470, 490, 510, 530, 550, 570, 590};
    const std::vector<Point>& locus = SpectralLocus();
    const int u = font.unit, h = 7 * u;
    const P white = At({1 / 3.0, 1 / 3.0});
    for (int nm : kShown) {
      const std::size_t i = std::size_t(nm - 380) / 5;
      const P at = At(locus[i]), before = At(locus[i - 1]), after = At(locus[std::min(i + 1, locus.size() - 1)]);
      // Outwards: across the locus, away from the middle of the diagram.
      double nx = before.y - after.y, ny = after.x - before.x;
      const double len = std::hypot(nx, ny);
      nx /= len, ny /= len;
      if (nx * (at.x - white.x) + ny * (at.y - white.y) < 0) nx = -nx, ny = -ny;
      const std::string text = std::to_string(nm);
      const int w = font.Width(text);
      for (int side : {1, -1}) {
        const double reach = 3 * u, gap = 5 * u;
        const double cx = at.x + side * nx * (gap + w / 2.0 * std::fabs(nx)), cy = at.y + side * ny * (gap + h / 2.0 * std::fabs(ny));
        const Box box{cx - w / 2.0 - u, cy - h / 2.0 - u, cx + w / 2.0 + u, cy + h / 2.0 + u};
        if (box.x0 < frame_.x || box.y0 < frame_.y || box.x1 > frame_.x + frame_.side ||
            box.y1 > frame_.y + frame_.side)
          continue;
        bool free = true;
        for (const Box& t : taken)
          free = free && (box.x1 <= t.x0 || box.x0 >= t.x1 || box.y1 <= t.y0 || box.y0 >= t.y1);
        if (!free) break;
        taken.push_back(box);
        canvas_.Stroke({at, {at.x + side * nx * reach, at.y + side * ny * reach}}, false, Px(1, 1));
        canvas_.Paint(0xFF6E6E6E);
        Text(font, text, cx, cy, 0, 0);
        canvas_.Paint(0xFF404040);
        break;
      }
    }
  }

  // The names of what the picture shows, top right on a light plate; returns where it lies.
  Box Legend(const Bitmap& font, const Gamut& g, const Notes& notes, bool compared, bool cut) {
    struct Row {
      int swatch;  // 0 the gamut, 1 the compared one, 2 the sRGB triangle, 3 a cut
      std::string text;
    };
    std::vector<Row> rows{{0, notes.name}};
    if (compared) rows.push_back({1, notes.compare_name});
    if (g.kind != Kind::Neutral) rows.push_back({2, "sRGB (reference)"});
    if (cut) rows.push_back({3, "beyond the view"});
    const int u = font.unit, line = 11 * u, swatch = 14 * u, pad = 4 * u;
    const int room = int(frame_.side * 0.75) - swatch - 2 * pad;
    int width = 0;
    const std::size_t fits = std::size_t(std::max(room, 0) / u) / 6 + 2;  // and one more
    for (Row& r : rows)
      width = std::max(width, font.Width(r.text = font.Fit(Bitmap::Printable(r.text, fits), room)));
    const double right = frame_.x + frame_.side - 3 * u, top = frame_.y + 3 * u;
    const double left = right - width - swatch - 2 * pad, bottom = top + 2 * pad + line * double(rows.size()) - 4 * u;
    Plate(left, top, right, bottom);
    canvas_.Stroke({{left, top}, {right, top}, {right, bottom}, {left, bottom}}, true, Px(1, 1));
    canvas_.Paint(0xFFB0B0B0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const double x = left + pad, y = top + pad + line * double(i), mid = y + 3.5 * u;
      const double sw = swatch - 4 * u;
      switch (rows[i].swatch) {
        case 0: Swatch(g, x, y, x + sw, y + 7 * u); break;
        case 1:
          canvas_.Stroke({{x, mid}, {x + sw, mid}}, false, Px(2, 1), Px(4, 2));
          canvas_.Paint(0xFFC0392B);
          break;
        case 2:
          canvas_.Stroke({{x, mid}, {x + sw, mid}}, false, Px(1, 0.8));
          canvas_.Paint(0xFF8C8C8C);
          break;
        case 3: {
          const double r = 3.5 * u;
          canvas_.Fill({{x + sw / 2 - r, mid + r}, {x + sw / 2 + r, mid + r}, {x + sw / 2, mid - r}});
          canvas_.Paint(0xFFD01010);
          break;
        }
      }
      Text(font, rows[i].text, x + swatch, y, -1, -1);
      canvas_.Paint(0xFF202020);
    }
    return {left, top, right, bottom};
  }

  bool simple() const { return simple_; }

 private:
  // How the gamut is drawn, in small.
  void Swatch(const Gamut& g, double x0, double y0, double x1, double y1) {
    switch (g.kind) {
      case Kind::Matrix:
      case Kind::Lut:
        canvas_.Fill({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
        canvas_.Paint(0x552B3A8C);
        canvas_.Stroke({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true, Px(2.4, 1.2));
        canvas_.Paint(0xFF1C2657);
        break;
      case Kind::Gray:
        if (!g.ramp.empty()) RampAt(g.ramp, x0, y0, x1, y1);
        break;
      case Kind::NamedColours:
        for (int i = 0; i < 3; ++i)
          DotAt({x0 + (x1 - x0) * (i + 0.5) / 3, (y0 + y1) / 2}, i == 0 ? 0xD03030 : i == 1 ? 0x30A030 : 0x3050D0, 1.6);
        break;
      case Kind::Neutral:
        break;
    }
  }

  void Plate(double x0, double y0, double x1, double y1) {
    canvas_.Fill({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
    canvas_.Paint(0xE6FFFFFF);
  }

  static std::string Tick(int tenths) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
    return text;
  }

  // Text placed by (x, y): `ax` -1 from its left, 0 around its middle, 1 from its right;
  // `ay` likewise from its top, middle or bottom.  Whole pixels, painted by the caller.
  void Text(const Bitmap& font, const std::string& text, double x, double y, int ax, int ay) {
    const int w = font.Width(text), h = 7 * font.unit;
    font.Draw(canvas_, text, int(std::lround(x - (ax + 1) * w / 2.0)), int(std::lround(y - (ay + 1) * h / 2.0)));
  }

  // The light colour of the chromaticity under pixel (x, y).
  uint32_t Tint(int x, int y) const {
    const double cx = view_.left + (x + 0.5 - frame_.x) / frame_.side * view_.span;
    const double cy = view_.bottom + (frame_.y + frame_.side - y - 0.5) / frame_.side * view_.span;
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
  View view_;
  Frame frame_;
  bool opaque_;
};

}  // namespace

bool Render(const Gamut& g, const Gamut* compare, int size, std::vector<uint32_t>* argb,
            const Notes* notes) {
  if (size < kMinSize || size > kMaxSize || !argb) return false;
  const View view = ViewOf(g, compare);
  const bool noted = notes && size >= kNotesSize;
  // With notes: room for the values of the axes on the left and below, and for the axes'
  // names.
  const Bitmap font{std::max(1, size / 256)};
  const int u = font.unit;
  const double left = noted ? 9 * u + font.Width("-0.0") : 0, bottom = noted ? 17 * u : 0;
  const double top = noted ? 12 * u : 0, right = noted ? 10 * u : 0;
  const Frame frame{left, top, std::min(size - left - right, size - top - bottom)};
  Diagram d(size, argb, view, frame, noted);
  d.Background(g.kind != Kind::Neutral);
  switch (g.kind) {
    case Kind::Matrix:
    case Kind::Lut:
      d.Region(g.outline);
      break;
    case Kind::Gray:
      if (!noted) d.Ramp(g.ramp, 0);
      break;
    case Kind::NamedColours:
    case Kind::Neutral:
      break;
  }
  const bool compared = compare && (compare->kind == Kind::Matrix || compare->kind == Kind::Lut);
  if (compared) d.Dashed(compare->outline);
  d.Locus();
  if (g.kind == Kind::NamedColours)
    for (const NamedColour& c : g.colours) d.Dot(c.xy, c.rgb, 2.5);
  if (g.kind == Kind::Neutral) {
    d.Label(d.simple() ? g.short_label : g.label);
  } else if (!d.simple() || g.kind == Kind::Gray) {
    d.Dot(g.white, 0xFFFFFF, 3.5);
  }
  const bool cut = d.CutMarks(g, compare);
  if (noted) {
    d.Margins();
    d.Axes(font);
    const Box legend = d.Legend(font, g, *notes, compared, cut);
    std::vector<Box> taken{legend};
    if (g.kind == Kind::Gray) taken.push_back(d.Ramp(g.ramp, legend.y1 - frame.y));
    d.Wavelengths(font, taken);
  }
  return true;
}

void Premultiply(std::vector<uint32_t>* argb) {
  for (uint32_t& p : *argb) {
    const uint32_t a = p >> 24;
    uint32_t out = a << 24;
    for (int shift = 16; shift >= 0; shift -= 8)
      out |= ((((p >> shift) & 0xFF) * a + 127) / 255) << shift;
    p = out;
  }
}

}  // namespace gamut
