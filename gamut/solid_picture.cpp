#include "solid_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "canvas.h"

namespace gamut {
namespace {

using paint::Bitmap;
using paint::Canvas;
using paint::P;

constexpr double kPi = 3.14159265358979323846;
// Where the solid is seen from: the angle in the a*b* plane from +a* towards +b* (37.5
// degrees round from yellow towards green, red to the left), and the height above that plane.
constexpr double kAzimuth = 127.5 * kPi / 180, kElevation = 27 * kPi / 180;
constexpr int kNotesSize = 160;  // as the chromaticity diagram's
constexpr double kAxisTop = 115;  // the L* axis's end, clear of the solid
constexpr float kFar = -std::numeric_limits<float>::infinity();
// A line this far (in CIELAB units) behind the surface still counts as on it, so that a
// solid's own wireframe shows.
constexpr double kDepthSlack = 2.5;

// A point of the picture's space: across the picture (to the right), up it, and towards the
// eye, in CIELAB units from L* = 50 on the neutral axis.
struct View {
  double x, y, depth;
};

View Seen(double L, double a, double b) {
  const double ca = std::cos(kAzimuth), sa = std::sin(kAzimuth);
  const double ce = std::cos(kElevation), se = std::sin(kElevation), z = L - 50;
  return {b * ca - a * sa, -se * (a * ca + b * sa) + ce * z, ce * (a * ca + b * sa) + se * z};
}

// sRGB, clipped, of a CIELAB (D50) colour, as three values from 0 to 1.
void DisplayColour(double L, double a, double b, double rgb[3]) {
  const auto f = [](double t) { return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29); };
  const double fy = (L + 16) / 116;
  const double X = 0.9642 * f(fy + a / 500), Y = f(fy), Z = 0.8249 * f(fy - b / 200);
  // From XYZ (D50) through Bradford's adaptation to linear sRGB (D65).
  const double linear[3] = {3.1338561 * X - 1.6168667 * Y - 0.4906146 * Z,
                            -0.9787684 * X + 1.9161415 * Y + 0.0334540 * Z,
                            0.0719453 * X - 0.2289914 * Y + 1.4052427 * Z};
  for (int c = 0; c < 3; ++c) {
    const double v = std::clamp(linear[c], 0.0, 1.0);
    rgb[c] = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  }
}

using Rgb = std::array<float, 3>;

// The picture's transform: CIELAB to pixels of the fine raster (`fine` of them a pixel).
struct Frame {
  double cx, cy, scale;  // pixels of the final picture for one CIELAB unit
  int fine;
  P At(const View& v) const { return {cx + v.x * scale, cy - v.y * scale}; }
  P FineAt(const View& v) const { return {(cx + v.x * scale) * fine, (cy - v.y * scale) * fine}; }
};

// The solid drawn at `fine` times the picture's resolution: colours and depths.
class Raster {
 public:
  Raster(int size, int fine)
      : n_(size * fine), fine_(fine), depth_(std::size_t(n_) * std::size_t(n_), kFar),
        rgb_(std::size_t(n_) * std::size_t(n_)) {}

  // A triangle with a colour at each corner, flat-shaded by its facing.
  void Triangle(const Frame& frame, const View v[3], const Rgb colour[3]) {
    // The normal towards the eye, in the picture's space; the light comes from above left.
    const double e1[3] = {v[1].x - v[0].x, v[1].y - v[0].y, v[1].depth - v[0].depth};
    const double e2[3] = {v[2].x - v[0].x, v[2].y - v[0].y, v[2].depth - v[0].depth};
    double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(len > 0)) return;
    if (n[2] < 0) n[0] = -n[0], n[1] = -n[1], n[2] = -n[2];
    const double light[3] = {-0.45, 0.65, 0.61};
    const float shade = float(0.55 + 0.45 * std::max(0.0, (n[0] * light[0] + n[1] * light[1] + n[2] * light[2]) / len));

    P p[3];
    for (int i = 0; i < 3; ++i) p[i] = frame.FineAt(v[i]);
    const double area = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[1].y - p[0].y) * (p[2].x - p[0].x);
    if (std::fabs(area) < 1e-12) return;
    const int x0 = std::max(0, int(std::floor(std::min({p[0].x, p[1].x, p[2].x}))));
    const int x1 = std::min(n_ - 1, int(std::ceil(std::max({p[0].x, p[1].x, p[2].x}))));
    const int y0 = std::max(0, int(std::floor(std::min({p[0].y, p[1].y, p[2].y}))));
    const int y1 = std::min(n_ - 1, int(std::ceil(std::max({p[0].y, p[1].y, p[2].y}))));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5, py = y + 0.5;
        // Barycentric weights of the corners, each the share of the area across from it.
        double w[3];
        for (int i = 0; i < 3; ++i) {
          const P& a = p[(i + 1) % 3];
          const P& b = p[(i + 2) % 3];
          w[i] = ((b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x)) / area;
        }
        if (w[0] < 0 || w[1] < 0 || w[2] < 0) continue;
        const float depth = float(w[0] * v[0].depth + w[1] * v[1].depth + w[2] * v[2].depth);
        const std::size_t k = std::size_t(y) * std::size_t(n_) + std::size_t(x);
        if (depth <= depth_[k]) continue;
        depth_[k] = depth;
        uint32_t out = 0;
        for (int c = 0; c < 3; ++c) {
          const double value = (w[0] * colour[0][c] + w[1] * colour[1][c] + w[2] * colour[2][c]) * shade;
          out = out << 8 | uint32_t(std::lround(std::clamp(value, 0.0, 1.0) * 255));
        }
        rgb_[k] = out;
      }
  }

  // Whether a point of the picture's space lies behind the solid.
  bool Hidden(const Frame& frame, const View& v) const {
    const P p = frame.FineAt(v);
    const int x = int(std::floor(p.x)), y = int(std::floor(p.y));
    if (x < 0 || y < 0 || x >= n_ || y >= n_) return false;
    return v.depth + kDepthSlack < depth_[std::size_t(y) * std::size_t(n_) + std::size_t(x)];
  }

  // Each pixel of the picture: the mean colour of its covered fine pixels, as opaque as the
  // share covered, over `background` (0 for none).
  void Resolve(uint32_t background, std::vector<uint32_t>* argb) const {
    const int size = n_ / fine_;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        unsigned sum[3] = {0, 0, 0}, covered = 0;
        for (int j = 0; j < fine_; ++j)
          for (int i = 0; i < fine_; ++i) {
            const std::size_t k = std::size_t(y * fine_ + j) * std::size_t(n_) + std::size_t(x * fine_ + i);
            if (depth_[k] == kFar) continue;
            ++covered;
            for (int c = 0; c < 3; ++c) sum[c] += rgb_[k] >> (16 - 8 * c) & 0xFF;
          }
        if (covered == 0) continue;
        const unsigned all = unsigned(fine_ * fine_);
        uint32_t& out = (*argb)[std::size_t(y) * std::size_t(size) + std::size_t(x)];
        uint32_t pixel = 0;
        for (int c = 0; c < 3; ++c) {
          unsigned value = (sum[c] + covered / 2) / covered;
          if (background) value = (value * covered + (background >> (16 - 8 * c) & 0xFF) * (all - covered) + all / 2) / all;
          pixel = pixel << 8 | value;
        }
        out = background ? 0xFF000000u | pixel : uint32_t((255 * covered + all / 2) / all) << 24 | pixel;
      }
  }

 private:
  int n_, fine_;
  std::vector<float> depth_;
  std::vector<uint32_t> rgb_;
};

using Line = std::vector<Solid::LabPoint>;

// How far from the neutral axis the surface lies at lightness L and hue h, marching out from
// the axis to where the solid ends; 0 where the axis is outside it.
double ChromaAt(const Solid& solid, double L, double h) {
  const double ca = std::cos(h), sa = std::sin(h);
  if (!solid.Contains(L, 0, 0)) return 0;
  double in = 0, out = 0;
  for (double c = 2; c <= 400; c += 2)
    if (!solid.Contains(L, c * ca, c * sa)) {
      out = c;
      break;
    }
    else in = c;
  if (out == 0) return in;
  for (int k = 0; k < 12; ++k) {
    const double mid = (in + out) / 2;
    (solid.Contains(L, mid * ca, mid * sa) ? in : out) = mid;
  }
  return in;
}

// The wireframe of a solid: rings of constant L* every 10 and lines of constant hue every
// 30 degrees from its darkest to its lightest neutral.
std::vector<Line> Cage(const Solid& solid) {
  double lowest = 101, highest = -1;
  for (double L = -1; L <= 101; L += 0.25)
    if (solid.Contains(L, 0, 0)) lowest = std::min(lowest, L), highest = std::max(highest, L);
  std::vector<Line> lines;
  if (highest < lowest) return lines;
  constexpr int kRingPoints = 96;
  for (int level = 20; level <= 80; level += 20) {
    if (level < lowest + 1 || level > highest - 1) continue;
    Line ring;
    for (int i = 0; i <= kRingPoints; ++i) {
      const double h = 2 * kPi * i / kRingPoints, c = ChromaAt(solid, level, h);
      ring.push_back({double(level), c * std::cos(h), c * std::sin(h)});
    }
    lines.push_back(std::move(ring));
  }
  for (int degrees = 0; degrees < 360; degrees += 30) {
    const double h = degrees * kPi / 180;
    Line meridian{{lowest, 0, 0}};
    for (double L = std::ceil(lowest) + 0.5; L < highest; L += 1) {
      const double c = ChromaAt(solid, L, h);
      meridian.push_back({L, c * std::cos(h), c * std::sin(h)});
    }
    meridian.push_back({highest, 0, 0});
    lines.push_back(std::move(meridian));
  }
  return lines;
}

// Where a piece of a line lies: before the solid, seen behind the neutral axis, or behind the
// solid.
enum Place { kFront, kBack, kHidden, kPlaces };

// A line in pieces of about two pixels, sorted into runs by where they lie.
void Split(const Frame& frame, const Raster& raster, const Line& line, std::vector<std::vector<P>> runs[kPlaces]) {
  std::vector<P> run;
  Place place = kFront;
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    const Solid::LabPoint& a = line[i];
    const Solid::LabPoint& b = line[i + 1];
    const P pa = frame.At(Seen(a.L, a.a, a.b)), pb = frame.At(Seen(b.L, b.a, b.b));
    const int pieces = std::max(1, int(std::ceil(std::hypot(pb.x - pa.x, pb.y - pa.y) / 2)));
    for (int k = 0; k < pieces; ++k) {
      const double t0 = double(k) / pieces, t1 = double(k + 1) / pieces, tm = (t0 + t1) / 2;
      const View mid = Seen(a.L + tm * (b.L - a.L), a.a + tm * (b.a - a.a), a.b + tm * (b.b - a.b));
      const Place here = raster.Hidden(frame, mid) ? kHidden : mid.depth < 0 ? kBack : kFront;
      const P start{pa.x + t0 * (pb.x - pa.x), pa.y + t0 * (pb.y - pa.y)};
      const P end{pa.x + t1 * (pb.x - pa.x), pa.y + t1 * (pb.y - pa.y)};
      if (run.empty() || here != place) {
        if (run.size() > 1) runs[place].push_back(run);
        run = {start};
        place = here;
      }
      run.push_back(end);
    }
  }
  if (run.size() > 1) runs[place].push_back(run);
}

// Lines drawn in `colours[place]`, dashed where the solid hides them.
void DrawLines(Canvas& canvas, const Frame& frame, const Raster& raster, const std::vector<Line>& lines,
               double width, const uint32_t colours[kPlaces]) {
  std::vector<std::vector<P>> runs[kPlaces];
  for (const Line& line : lines) Split(frame, raster, line, runs);
  for (int place : {kHidden, kBack, kFront}) {
    for (const std::vector<P>& run : runs[place]) canvas.Stroke(run, false, width, place == kHidden ? 2.5 * width : 0);
    canvas.Paint(colours[place]);
  }
}

void Text(Canvas& canvas, const Bitmap& font, const std::string& text, P at) {
  font.Draw(canvas, text, int(std::lround(at.x - font.Width(text) / 2.0)), int(std::lround(at.y - 3.5 * font.unit)));
}

// The legend's frame: 3 units from the picture's top left corner, 11 a row.
constexpr int kLegendPad = 4, kLegendLine = 11;
double LegendBottom(std::size_t rows, int u) { return 3 * u + 2 * kLegendPad * u + kLegendLine * u * double(rows) - 4 * u; }

// The names of the solid and its wireframe, top left in a frame.
void Legend(Canvas& canvas, const Bitmap& font, const Notes& notes, bool wireframe, int size) {
  std::vector<std::string> rows{notes.name};
  if (wireframe) rows.push_back(notes.compare_name + " (wireframe)");
  const int u = font.unit, line = kLegendLine * u, swatch = 14 * u, pad = kLegendPad * u;
  const int room = size - 6 * u - swatch - 2 * pad;
  int width = 0;
  const std::size_t fits = std::size_t(std::max(room, 0) / u) / 6 + 2;
  for (std::string& r : rows) width = std::max(width, font.Width(r = font.Fit(Bitmap::Printable(r, fits), room)));
  const double left = 3 * u, top = 3 * u;
  const double right = left + width + swatch + 2 * pad, bottom = LegendBottom(rows.size(), u);
  canvas.Stroke({{left, top}, {right, top}, {right, bottom}, {left, bottom}}, true, u);
  canvas.Paint(0xFFB0B0B0);
  const double x = left + pad, sw = swatch - 4 * u;
  // The solid: a strip of its colours; the wireframe: a dark line.
  const uint32_t strip[4] = {0xFFD8443A, 0xFFE8C230, 0xFF3FA55A, 0xFF3B62C4};
  for (int i = 0; i < 4; ++i) {
    canvas.Block(int(x + sw * i / 4), int(top + pad), int(x + sw * (i + 1) / 4), int(top + pad + 7 * u));
    canvas.Paint(strip[i]);
  }
  if (wireframe) {
    const double mid = top + pad + line + 3.5 * u;
    canvas.Stroke({{x, mid}, {x + sw, mid}}, false, 1.5 * u);
    canvas.Paint(0xFF1E1E1E);
  }
  for (std::size_t i = 0; i < rows.size(); ++i)
    font.Draw(canvas, rows[i], int(x + swatch), int(top + pad + line * double(i)));
  canvas.Paint(0xFF202020);
}

}  // namespace

bool RenderSolid(const Solid& solid, const Solid* wireframe, int size, std::vector<uint32_t>* argb,
                 const Notes* notes) {
  if (size < kMinSize || size > kMaxSize || !argb || solid.empty()) return false;
  const bool noted = notes && size >= kNotesSize;
  const Bitmap font{std::max(1, size / 256)};
  const int u = font.unit;

  int cells = 0;
  const std::vector<Solid::LabPoint> surface = solid.Surface(&cells);
  const std::vector<Line> cage = wireframe && !wireframe->empty() ? Cage(*wireframe) : std::vector<Line>();

  // The axes reach past everything drawn.
  double reach = 100;
  for (const Solid::LabPoint& p : surface) reach = std::max({reach, std::fabs(p.a), std::fabs(p.b)});
  for (const Line& line : cage)
    for (const Solid::LabPoint& p : line) reach = std::max({reach, std::fabs(p.a), std::fabs(p.b)});
  reach = std::ceil(reach / 25 + 0.4) * 25;
  const std::vector<Line> axes = {{{0, 0, 0}, {kAxisTop, 0, 0}}, {{50, -reach, 0}, {50, reach, 0}}, {{50, 0, -reach}, {50, 0, reach}}};

  // Fitted to the picture, below the legend, with room for the axes' names.
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  const auto widen = [&](const Solid::LabPoint& p) {
    const View v = Seen(p.L, p.a, p.b);
    x0 = std::min(x0, v.x), x1 = std::max(x1, v.x), y0 = std::min(y0, v.y), y1 = std::max(y1, v.y);
  };
  for (const Solid::LabPoint& p : surface) widen(p);
  for (const Line& line : cage) std::for_each(line.begin(), line.end(), widen);
  if (noted)
    for (const Line& line : axes) std::for_each(line.begin(), line.end(), widen);
  const double margin = noted ? 20.0 * u : 1;
  const double top = noted ? LegendBottom(cage.empty() ? 1 : 2, u) + margin / 2 : margin;
  const double room_x = size - 2 * margin, room_y = size - top - margin;
  const double scale = std::min(room_x / std::max(1e-9, x1 - x0), room_y / std::max(1e-9, y1 - y0));
  // The solid is drawn at 3 x 3 (2 x 2 above 512 pixels) points a pixel for smooth edges.
  const Frame frame{margin + room_x / 2 - (x0 + x1) / 2 * scale, top + room_y / 2 + (y0 + y1) / 2 * scale, scale,
                    size <= 512 ? 3 : 2};

  Raster raster(size, frame.fine);
  const int side = cells + 1;
  std::vector<View> seen(surface.size());
  std::vector<Rgb> colours(surface.size());
  for (std::size_t k = 0; k < surface.size(); ++k) {
    const Solid::LabPoint& p = surface[k];
    seen[k] = Seen(p.L, p.a, p.b);
    double rgb[3];
    DisplayColour(p.L, p.a, p.b, rgb);
    colours[k] = {float(rgb[0]), float(rgb[1]), float(rgb[2])};
  }
  for (int f = 0; f < 6; ++f)
    for (int i = 0; i < cells; ++i)
      for (int j = 0; j < cells; ++j) {
        const std::size_t k = std::size_t((f * side + i) * side + j);
        const std::size_t quad[4] = {k, k + 1, k + std::size_t(side) + 1, k + std::size_t(side)};
        for (int half = 0; half < 2; ++half) {
          const std::size_t a = quad[0], b = quad[1 + half], c = quad[2 + half];
          const View v[3] = {seen[a], seen[b], seen[c]};
          const Rgb rgb[3] = {colours[a], colours[b], colours[c]};
          raster.Triangle(frame, v, rgb);
        }
      }

  Canvas canvas(size, argb);
  std::vector<uint32_t> pixels(std::size_t(size) * std::size_t(size), noted ? 0xFFFFFFFFu : 0u);
  raster.Resolve(noted ? 0xFFFFFFFFu : 0u, &pixels);
  canvas.SetPixels(pixels);
  const double line = std::max(1.0, size / 320.0);
  if (noted) {
    const uint32_t axis_colours[kPlaces] = {0xFF8A8A8A, 0xFFB4B4B4, 0x70FFFFFF};
    DrawLines(canvas, frame, raster, axes, line, axis_colours);
    // Each axis's name beyond its end, away from the middle.
    const View middle = Seen(50, 0, 0);
    const auto name = [&](const char* text, const View& end) {
      const double dx = end.x - middle.x, dy = end.y - middle.y, len = std::max(1e-9, std::hypot(dx, dy));
      const P at = frame.At(end);
      Text(canvas, font, text, {at.x + dx / len * 7 * u, at.y - dy / len * 7 * u});
    };
    name("L*", Seen(kAxisTop, 0, 0));
    name("a*", Seen(50, reach, 0));
    name("b*", Seen(50, 0, reach));
    canvas.Paint(0xFF505050);
  }
  // Dark before the solid, grey behind it, faint where it hides the lines.
  const uint32_t cage_colours[kPlaces] = {0xFF1E1E1E, 0xFF8C8C8C, 0x60FFFFFF};
  DrawLines(canvas, frame, raster, cage, line, cage_colours);
  if (noted) Legend(canvas, font, *notes, !cage.empty(), size);
  return true;
}

}  // namespace gamut
