// Feeds arbitrary bytes as a profile to the preview pane's sheet (texts, facts, tag table,
// the health check) and through it to the gamut computation and the drawing: Little CMS
// reading through our container, matrix, lookup-table, gray and named-colour gamuts.  A
// gamut that is computed must be drawable, with finite chromaticities.  Now and then the
// gamut's solid in CIELAB too: a finite volume, and none for a kind that has none.
#include <cmath>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "gamut.h"
#include "picture.h"
#include "volume.h"
#include "preview_sheet.h"
#include "profile_builder.h"

namespace {

bool Finite(const gamut::Point& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::unique_ptr<icc::Profile> profile;
  auto file = std::make_unique<testing_icc::MemoryFile>(std::vector<uint8_t>(data, data + size));
  if (!icc::Profile::Open(std::move(file), &profile).ok()) return 0;
  gamut::PreviewSheet sheet;
  gamut::BuildPreviewSheet(*profile, icc::Language(), icc::PortableCodePage(), &sheet);
  gamut::FinishPreviewSheet(icc::CheckReport(), &sheet);
  if (size > 125 && data[125] % 4 == 0) {
    gamut::Limits cheap;
    cheap.interpolation = 1 << 16;
    gamut::Solid solid;
    const gamut::SolidResult r = gamut::ComputeSolid(*profile, &solid, cheap);
    if (r.result.ok()) CHECK(solid.empty() == (r.none != gamut::NoSolid::None));
    CHECK(std::isfinite(solid.volume()) && solid.volume() >= 0);
    solid.Contains(50, 0, 0);
    // The sheet's coverages cost four references' worth of containment tests, about ten
    // times the solid's under the sanitizers: one input in 16, by its size (profiles end
    // with zero padding and mostly leave byte 125 zero, so neither picks few of them).
    if ((size / 4) % 16 == 1) {
      gamut::MeasurePreviewSheet(*profile, &sheet, cheap);
      CHECK(!sheet.volume.empty());
    }
  }
  CHECK(!gamut::SheetText(sheet).empty());
  if (!sheet.has_picture) return 0;
  const gamut::Gamut& g = sheet.gamut;
  CHECK(Finite(g.white));
  if (g.kind == gamut::Kind::Matrix || g.kind == gamut::Kind::Lut) CHECK(g.outline.size() >= 3);
  for (const gamut::Point& p : g.outline) CHECK(Finite(p));
  for (const gamut::NamedColour& c : g.colours) CHECK(Finite(c.xy));
  // The header's last byte picks a small size, so that drawing stays quick.
  std::vector<uint32_t> pixels;
  const int picture = gamut::kMinSize + (size > 127 ? data[127] % 49 : 0);
  CHECK(gamut::Render(g, &g, picture, &pixels));
  // Now and then the command line's picture, named by the profile's first bytes.
  if (size > 126 && data[126] % 8 == 0) {
    const gamut::Notes notes{std::string(data, data + 64), std::string(data + 64, data + 80)};
    CHECK(gamut::Render(g, &g, 160, &pixels, &notes));
  }
  return 0;
}
