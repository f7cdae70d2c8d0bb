// Gamut volumes and coverages against ArgyllCMS's figures for the same profiles; the built-in
// references against ArgyllCMS's own reference profiles; what has no solid; the solid drawn.
#include <algorithm>

#include <gtest/gtest.h>

#include <lcms2.h>

#include "posix_file.h"
#include "profile_builder.h"
#include "solid_picture.h"
#include "volume.h"

using namespace testing_icc;

namespace {

constexpr char kArgyll[] = "/usr/share/color/argyll/ref/";

gamut::SolidResult SolidOf(std::vector<uint8_t> bytes, gamut::Solid* s) {
  std::unique_ptr<icc::Profile> p;
  const icc::Result r = icc::Profile::Open(std::make_unique<MemoryFile>(std::move(bytes)), &p);
  return r.ok() ? gamut::ComputeSolid(*p, s) : gamut::SolidResult{r};
}

gamut::Solid SolidOf(const std::string& path) {
  gamut::Solid s;
  const gamut::SolidResult r = SolidOf(FileBytes(path), &s);
  EXPECT_TRUE(r.result.ok() && r.none == gamut::NoSolid::None) << path;
  return s;
}

// A profile Little CMS makes, as bytes.
std::vector<uint8_t> Saved(cmsHPROFILE h) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(h, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(h, bytes.data(), &size);
  cmsCloseProfile(h);
  return bytes;
}

}  // namespace

// Volumes from `iccgamut -v -ir NAME` ("Total volume of gamut is N cubic colorspace units"),
// coverages from `viewgam -i A.gam B.gam out.wrl` ("'B.gam' volume = ..., intersect = P%":
// the share of B inside A), ArgyllCMS 2.3.1.
TEST(Volume, AgreesWithArgyll) {
  const struct {
    std::string path;
    double volume;
    int reference;  // the built-in reference of the same gamut, or -1
  } profiles[] = {
      {std::string(kArgyll) + "sRGB.icm", 833534, int(gamut::Reference::Srgb)},
      {std::string(kArgyll) + "ClayRGB1998.icm", 1209986, int(gamut::Reference::AdobeRgb)},
      {std::string(kArgyll) + "DisplayP3.icm", 1234947, int(gamut::Reference::DisplayP3)},
      {std::string(kArgyll) + "Rec2020.icm", 1858618, int(gamut::Reference::Rec2020)},
      {std::string(kArgyll) + "ProPhoto.icm", 2898443, -1},
      {"/usr/share/color/icc/LStar-RGB.icc", 1334448, -1},
      // CMYK: ArgyllCMS assumes a total ink limit of 300 % here, the solid takes none.
      {LCMS2_TESTBED "/test1.icc", 408303, -1},
  };
  std::vector<gamut::Solid> solids;
  for (const auto& p : profiles) {
    solids.push_back(SolidOf(p.path));
    const gamut::Solid& s = solids.back();
    EXPECT_NEAR(s.volume(), p.volume, 0.02 * p.volume) << p.path;
    if (p.reference < 0) continue;
    const gamut::Solid& builtin = gamut::ReferenceSolid(gamut::Reference(p.reference));
    EXPECT_NEAR(builtin.volume(), p.volume, 0.02 * p.volume) << p.path;
    EXPECT_GT(gamut::Coverage(s, builtin), 99.5) << p.path;
    EXPECT_GT(gamut::Coverage(builtin, s), 99.5) << p.path;
  }
  const struct {
    int solid, reference;  // the share of `reference` inside `solid`
    double coverage;
  } pairs[] = {
      {0, 3, 44.85}, {0, 2, 67.50}, {0, 1, 68.88}, {1, 2, 85.30}, {2, 1, 87.06},
      {2, 3, 66.43}, {3, 4, 64.10}, {1, 0, 99.99}, {4, 3, 99.96}, {6, 0, 45.16}, {0, 6, 92.18},
  };
  for (const auto& p : pairs)
    EXPECT_NEAR(gamut::Coverage(solids[std::size_t(p.solid)], solids[std::size_t(p.reference)]), p.coverage, 2)
        << profiles[p.reference].path << " in " << profiles[p.solid].path;
}

TEST(Volume, ContainmentIsExact) {
  const gamut::Solid& srgb = gamut::ReferenceSolid(gamut::Reference::Srgb);
  const gamut::Solid& rec2020 = gamut::ReferenceSolid(gamut::Reference::Rec2020);
  EXPECT_EQ(gamut::Coverage(srgb, srgb), 100);
  EXPECT_GT(gamut::Coverage(rec2020, srgb), 99.9);
  EXPECT_NEAR(gamut::RelativeVolume(srgb, rec2020), 100 * 833534 / 1858618.0, 1);
  EXPECT_TRUE(srgb.Contains(50, 0, 0));
  // sRGB's red is (54.3, 80.8, 69.9).
  EXPECT_TRUE(srgb.Contains(54, 72, 62));
  EXPECT_FALSE(srgb.Contains(54, 90, 78));
  EXPECT_TRUE(rec2020.Contains(54, 90, 78));
  EXPECT_FALSE(srgb.Contains(101, 0, 0));
}

// Kinds without a solid, damage and the newer format.
TEST(Volume, WhatHasNoSolid) {
  const std::vector<uint8_t> srgb = FileBytes("/usr/share/color/icc/sRGB.icc");
  auto cut = TagsOf(srgb);
  cut["gXYZ"].resize(12);
  std::vector<Tag> damaged;
  for (auto& [sig, bytes] : cut) damaged.push_back({sig, bytes});

  cmsHPROFILE a = cmsOpenProfileFromMem(srgb.data(), cmsUInt32Number(srgb.size()));
  cmsHTRANSFORM t = cmsCreateTransform(a, TYPE_RGB_16, a, TYPE_RGB_16, INTENT_PERCEPTUAL, 0);
  const std::vector<uint8_t> link = Saved(cmsTransform2DeviceLink(t, 4.3, 0));
  cmsDeleteTransform(t);
  cmsCloseProfile(a);

  const struct {
    std::vector<uint8_t> bytes;
    icc::Status status;
    gamut::NoSolid none;
  } rows[] = {
      {FileBytes("/usr/share/color/icc/Gray.icc"), icc::Status::Ok, gamut::NoSolid::Gray},
      {FileBytes("/usr/share/color/icc/colord/x11-colors.icc"), icc::Status::Ok, gamut::NoSolid::NamedColours},
      {link, icc::Status::Ok, gamut::NoSolid::DeviceLink},
      {Saved(cmsCreateBCHSWabstractProfile(9, 0, 1, 0, 0, 6500, 6500)), icc::Status::Ok, gamut::NoSolid::Abstract},
      {BuildProfile(damaged), icc::Status::InvalidProfile, gamut::NoSolid::None},
      {Version5Profile(), icc::Status::Version5, gamut::NoSolid::None},
  };
  for (const auto& row : rows) {
    gamut::Solid s = gamut::ReferenceSolid(gamut::Reference::Srgb);
    const gamut::SolidResult r = SolidOf(row.bytes, &s);
    EXPECT_EQ(r.result.status, row.status) << gamut::NoSolidText(row.none);
    EXPECT_EQ(r.none, row.none) << gamut::NoSolidText(row.none);
    if (r.result.ok()) EXPECT_TRUE(s.empty());
  }
}

namespace {

int Luma(uint32_t p) { return int(((p >> 16 & 0xFF) * 3 + (p >> 8 & 0xFF) * 6 + (p & 0xFF)) / 10); }

std::size_t Opaque(const std::vector<uint32_t>& px) {
  return std::size_t(std::count_if(px.begin(), px.end(), [](uint32_t p) { return p >> 24 == 0xFF; }));
}

}  // namespace

// The solid in 3D: L* up (a near-neutral solid stands light on top of dark), a wider gamut
// covers more at the same scale, a solid's own wireframe shows on it, white around it with
// the notes, and the diagram's size limits.
TEST(SolidPicture, DrawsTheSolid) {
  const int n = 256;
  std::vector<uint32_t> px;
  // Primaries close to the white: a spindle from black to white.
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.34, 0.33, 1.0}, {0.30, 0.35, 1.0}, {0.30, 0.31, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  gamut::Solid spindle;
  ASSERT_TRUE(SolidOf(Saved(cmsCreateRGBProfile(&white, &primaries, curves)), &spindle).result.ok());
  cmsFreeToneCurve(gamma);
  ASSERT_TRUE(gamut::RenderSolid(spindle, nullptr, n, &px));
  int top = n, bottom = -1, left = n, right = -1;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      if (px[std::size_t(y * n + x)] >> 24 == 0xFF)
        top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
  ASSERT_LT(top, bottom);
  EXPECT_GT(bottom - top, 2 * (right - left));
  for (int x = left; x <= right; ++x) {
    const uint32_t high = px[std::size_t((top + 3) * n + x)], low = px[std::size_t((bottom - 3) * n + x)];
    if (high >> 24 == 0xFF) EXPECT_GT(Luma(high), 190) << x;
    if (low >> 24 == 0xFF) EXPECT_LT(Luma(low), 40) << x;
  }
  EXPECT_EQ(px[0], 0u);  // transparent around the solid without notes

  // At the scale Rec. 2020's wireframe sets, its solid covers more than sRGB's.
  const gamut::Solid& srgb = gamut::ReferenceSolid(gamut::Reference::Srgb);
  const gamut::Solid& wide = gamut::ReferenceSolid(gamut::Reference::Rec2020);
  ASSERT_TRUE(gamut::RenderSolid(srgb, &wide, n, &px));
  const std::size_t narrow_cover = Opaque(px);
  ASSERT_TRUE(gamut::RenderSolid(wide, &wide, n, &px));
  EXPECT_GT(Opaque(px), narrow_cover * 5 / 4);

  // sRGB inside its own wireframe: the lines lie on the surface and show, dark or grey, where
  // it faces the eye; the spindle's lie inside it, hidden (faint) but for its ends.
  const auto seen_lines = [&](const gamut::Solid& wireframe) {
    EXPECT_TRUE(gamut::RenderSolid(srgb, &wireframe, n, &px));
    return std::count_if(px.begin(), px.end(), [](uint32_t p) {
      const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
      return p >> 24 == 0xFF && Luma(p) < 150 && std::max({r, g, b}) - std::min({r, g, b}) < 12;
    });
  };
  EXPECT_GT(seen_lines(srgb), 5 * n / 2);
  EXPECT_LT(seen_lines(spindle), n / 8);
  const gamut::Notes notes{"sRGB", "sRGB"};
  ASSERT_TRUE(gamut::RenderSolid(srgb, &srgb, n, &px, &notes));
  EXPECT_EQ(px[px.size() - 1], 0xFFFFFFFFu);  // white around it with the notes

  EXPECT_TRUE(gamut::RenderSolid(srgb, &srgb, gamut::kMinSize, &px));
  EXPECT_EQ(px.size(), std::size_t(gamut::kMinSize * gamut::kMinSize));
  EXPECT_TRUE(gamut::RenderSolid(srgb, &srgb, gamut::kMaxSize, &px, &notes));
  EXPECT_FALSE(gamut::RenderSolid(srgb, &srgb, gamut::kMinSize - 1, &px));
  EXPECT_FALSE(gamut::RenderSolid(srgb, &srgb, gamut::kMaxSize + 1, &px));
  EXPECT_FALSE(gamut::RenderSolid(gamut::Solid(), &srgb, n, &px));
}
