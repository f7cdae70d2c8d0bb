// The gamut picture against Little CMS reading the same files on its own: matrix
// triangles, lookup-table outlines, every kind of profile drawn, lazy reads and damage.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "gamut.h"
#include "lcms_io.h"
#include "picture.h"
#include "posix_file.h"
#include "preview_sheet.h"
#include "volume.h"
#include "profile_builder.h"

using namespace testing_icc;

namespace {

constexpr double kPixel = 0.86 / 256;  // one pixel of a 256-pixel picture, in xy

void ForEachProfile(const std::string& dir, const std::function<void(const std::string&)>& f) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name, path = dir + "/" + name;
    if (name[0] == '.') continue;
    if (e->d_type == DT_DIR) ForEachProfile(path, f);
    else if (name.size() > 4 && (name.substr(name.size() - 4) == ".icc" || name.substr(name.size() - 4) == ".icm")) f(path);
  }
  closedir(d);
}

void ForEachCorpusProfile(const std::function<void(const std::string&)>& f) {
  ForEachProfile("/usr/share/color", f);
  ForEachProfile(LCMS2_TESTBED, f);
}

icc::Result GamutOf(std::unique_ptr<icc::SourceFile> file, gamut::Gamut* g) {
  std::unique_ptr<icc::Profile> p;
  icc::Result r = icc::Profile::Open(std::move(file), &p);
  return r.ok() ? gamut::ComputeGamut(*p, g) : r;
}

icc::Result GamutOf(const std::string& path, gamut::Gamut* g) {
  std::unique_ptr<icc::SourceFile> file;
  icc::Result r = posix::OpenPosixFile(path, &file);
  return r.ok() ? GamutOf(std::move(file), g) : r;
}

// Where Little CMS, reading the file itself, puts the device's pure red, green and blue.
std::vector<gamut::Point> LcmsPrimaries(const std::vector<uint8_t>& profile) {
  gamut::LcmsProfile h(cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size())));
  gamut::LcmsProfile xyz(cmsCreateXYZProfile());
  cmsHTRANSFORM t = cmsCreateTransform(h.h, TYPE_RGB_16, xyz.h, TYPE_XYZ_DBL,
                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
  const uint16_t rgb[3][3] = {{0xFFFF, 0, 0}, {0, 0xFFFF, 0}, {0, 0, 0xFFFF}};
  cmsCIEXYZ out[3];
  cmsDoTransform(t, rgb, out, 3);
  cmsDeleteTransform(t);
  const gamut::ChromaticityMap map(h.h);
  std::vector<gamut::Point> points(3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(map(out[i], &points[std::size_t(i)]));
  return points;
}

double Distance(gamut::Point a, gamut::Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Inside, or on the boundary within `slack`.
bool Inside(const std::vector<gamut::Point>& poly, gamut::Point p, double slack) {
  bool in = false;
  for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const gamut::Point a = poly[i], b = poly[j];
    const double len2 = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
    const double t = std::clamp(((p.x - a.x) * (b.x - a.x) + (p.y - a.y) * (b.y - a.y)) / len2, 0.0, 1.0);
    if (Distance(p, {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}) <= slack) return true;
    if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y)) in = !in;
  }
  return in;
}

TEST(Gamut, MatrixTrianglesHaveTheirPrimariesAsCorners) {
  int matrices = 0;
  ForEachCorpusProfile([&](const std::string& path) {
    gamut::Gamut g;
    if (!GamutOf(path, &g).ok() || g.kind != gamut::Kind::Matrix) return;
    ++matrices;
    ASSERT_EQ(g.outline.size(), 3u) << path;
    for (const gamut::Point& primary : LcmsPrimaries(FileBytes(path))) {
      double nearest = 1;
      for (const gamut::Point& corner : g.outline) nearest = std::min(nearest, Distance(primary, corner));
      EXPECT_LT(nearest, kPixel) << path;
    }
  });
  EXPECT_GE(matrices, 40);

  // Primaries are shown as published, not as adapted to the connection space's D50.
  gamut::Gamut srgb;
  ASSERT_TRUE(GamutOf("/usr/share/color/icc/sRGB.icc", &srgb).ok());
  const std::vector<gamut::Point> published = gamut::SrgbTriangle();
  for (std::size_t i = 0; i < 3; ++i) EXPECT_LT(Distance(srgb.outline[i], published[i]), kPixel) << i;
  EXPECT_LT(Distance(srgb.white, {0.3127, 0.3290}), kPixel);
}

TEST(Gamut, LutOutlinesHoldTheDevicePrimaries) {
  int luts = 0;
  ForEachCorpusProfile([&](const std::string& path) {
    gamut::Gamut g;
    if (!GamutOf(path, &g).ok() || g.kind != gamut::Kind::Lut) return;
    EXPECT_GE(g.outline.size(), 6u) << path;
    EXPECT_TRUE(Inside(g.outline, g.white, 0)) << path;
    if (g.colour_space != cmsSigRgbData) return;
    ++luts;
    for (const gamut::Point& primary : LcmsPrimaries(FileBytes(path)))
      EXPECT_TRUE(Inside(g.outline, primary, 1e-6)) << path << " " << primary.x << "," << primary.y;
  });
  EXPECT_GE(luts, 2);
}

TEST(Gamut, EveryKindDrawsAtEverySize) {
  int drawn = 0;
  std::vector<uint32_t> px;
  ForEachCorpusProfile([&](const std::string& path) {
    gamut::Gamut g;
    if (!GamutOf(path, &g).ok()) return;
    ++drawn;
    for (int size : {16, 48, 256}) {
      ASSERT_TRUE(gamut::Render(g, &g, size, &px)) << path;
      ASSERT_EQ(px.size(), std::size_t(size) * std::size_t(size));
      EXPECT_EQ(px.back() >> 24, 0u) << path;  // bottom right: outside the locus
      EXPECT_EQ(px[std::size_t(size) * std::size_t(size) / 2 + std::size_t(size) / 3] >> 24, 0xFFu) << path;
    }
  });
  EXPECT_GE(drawn, 55);

  gamut::Gamut named, gray, lab;
  ASSERT_TRUE(GamutOf("/usr/share/color/icc/colord/x11-colors.icc", &named).ok());
  EXPECT_EQ(named.kind, gamut::Kind::NamedColours);
  EXPECT_EQ(named.colours.size(), 138u);
  ASSERT_TRUE(GamutOf("/usr/share/color/icc/Gray.icc", &gray).ok());
  EXPECT_EQ(gray.kind, gamut::Kind::Gray);
  EXPECT_LT(gray.ramp.front(), 40);
  EXPECT_GT(gray.ramp.back(), 250);
  ASSERT_TRUE(GamutOf("/usr/share/color/icc/ITULab.icc", &lab).ok());
  EXPECT_STREQ(lab.label, "LAB");

  EXPECT_TRUE(gamut::Render(lab, nullptr, 1024, &px));
  EXPECT_FALSE(gamut::Render(lab, nullptr, 15, &px));
  EXPECT_FALSE(gamut::Render(lab, nullptr, 1025, &px));
}

// A gamut beyond the spectral locus widens the view, so that nothing of it reaches the
// picture's edge; one beyond the widest view is cut with red marks, and the legend says so.
// The command line's notes (long names, control bytes, broken UTF-8) fit the picture.
TEST(Gamut, WideGamutsAreShownWholeOrMarked) {
  const gamut::Point ap0_blue{0.0001, -0.077};
  struct Row {
    std::vector<gamut::Point> outline, compare;
    bool marked;
  } rows[] = {
      {{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}, {}, false},
      {{{0.7347, 0.2653}, {0.0, 1.0}, ap0_blue}, {}, false},
      {{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}, {{0.7347, 0.2653}, {0.0, 1.0}, ap0_blue}, false},
      {{{1.6, -0.2}, {0.1, 0.8}, {0.1, 0.05}}, {}, true},
      {{{0.64, 0.33}, {0.30, 0.60}, {-3.0, 0.06}}, {}, true},
  };
  const std::string hostile = "\x1b[2J\xff\xc3\xa9 " + std::string(300, 'W');
  const gamut::Notes notes{hostile, hostile};
  for (const Row& row : rows) {
    gamut::Gamut g, compare;
    g.kind = compare.kind = gamut::Kind::Matrix;
    g.outline = row.outline;
    g.white = {0.3127, 0.3290};
    compare.outline = row.compare;
    const gamut::Gamut* with = row.compare.empty() ? nullptr : &compare;
    for (const gamut::Notes* n : {static_cast<const gamut::Notes*>(nullptr), &notes}) {
      std::vector<uint32_t> px;
      ASSERT_TRUE(gamut::Render(g, with, 256, &px, n));
      int red = 0;
      bool edge_drawn = false;
      for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
          const uint32_t v = px[std::size_t(y) * 256 + std::size_t(x)];
          red += v == 0xFFD01010u;
          // The thumbnail is transparent around the diagram, the noted picture white.
          const bool edge = x == 0 || y == 0 || x == 255 || y == 255;
          edge_drawn = edge_drawn || (edge && v != (n ? 0xFFFFFFFFu : 0u));
        }
      EXPECT_EQ(red > 0, row.marked) << row.outline[0].x << (n ? " noted" : "");
      EXPECT_EQ(edge_drawn, row.marked && !n) << row.outline[0].x << (n ? " noted" : "");
    }
  }
}

TEST(Gamut, ReadsOnlyTheTagsItUses) {
  std::vector<Tag> tags;
  for (auto& [sig, bytes] : TagsOf(FileBytes(LCMS2_TESTBED "/test3.icc"))) tags.push_back({sig, bytes});
  const std::vector<uint8_t> small = BuildProfile(tags);
  tags.push_back({"zzzz", std::vector<uint8_t>(64 << 20, 0x5A)});
  uint64_t small_read = 0, big_read = 0;
  gamut::Gamut a, b;
  ASSERT_TRUE(GamutOf(std::make_unique<MemoryFile>(small, &small_read), &a).ok());
  ASSERT_TRUE(GamutOf(std::make_unique<MemoryFile>(BuildProfile(tags), &big_read), &b).ok());
  EXPECT_EQ(big_read, small_read + 12);  // one more table row
  EXPECT_LT(small_read, small.size());   // the backward tables are never read
  ASSERT_EQ(a.outline.size(), b.outline.size());
}

TEST(Gamut, DamagedProfilesFail) {
  const std::vector<uint8_t> srgb = FileBytes("/usr/share/color/icc/sRGB.icc");
  auto tags = TagsOf(srgb);
  auto fails = [](std::map<std::string, std::vector<uint8_t>> changed) {
    std::vector<Tag> list;
    for (auto& [sig, bytes] : changed) list.push_back({sig, bytes});
    gamut::Gamut g;
    return GamutOf(std::make_unique<MemoryFile>(BuildProfile(list)), &g).status ==
           icc::Status::InvalidProfile;
  };
  auto no_type = tags;
  no_type["rXYZ"][0] = 'q';
  EXPECT_TRUE(fails(no_type));
  auto cut = tags;
  cut["gXYZ"].resize(12);
  EXPECT_TRUE(fails(cut));

  auto lut = TagsOf(FileBytes(LCMS2_TESTBED "/test3.icc"));
  lut["A2B0"].resize(lut["A2B0"].size() / 2);
  lut["A2B1"] = lut["A2B0"];
  lut.erase("A2B2");
  EXPECT_TRUE(fails(lut));
}

// Whatever Little CMS transforms is drawn, lookup tables without a colour grid too (their
// size leaving out the padding that Little CMS reads after the last curve); what gets no
// gamut says what it is.
TEST(Gamut, DrawsWhatLittleCmsTransforms) {
  std::vector<uint8_t> link = BuildProfile({{"desc", DescTag("link", false)}});
  icc::StoreBE32(link.data() + 12, icc::Signature("link"));
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    icc::Status status;
    gamut::Kind kind;
    const char* label;
    const char16_t* pane;  // why there is no picture
  } rows[] = {
      {"matrix", FileBytes("/usr/share/color/icc/sRGB.icc"), icc::Status::Ok, gamut::Kind::Matrix, "", nullptr},
      {"table with a grid", LutProfile(4, 9), icc::Status::Ok, gamut::Kind::Lut, "", nullptr},
      {"table without a grid", CurveMatrixProfile(false), icc::Status::Ok, gamut::Kind::Lut, "", nullptr},
      {"YCbCr", CurveMatrixProfile(true), icc::Status::Ok, gamut::Kind::Lut, "", nullptr},
      {"named colours", FileBytes("/usr/share/color/icc/colord/x11-colors.icc"), icc::Status::Ok,
       gamut::Kind::NamedColours, "", nullptr},
      {"device link", link, icc::Status::Ok, gamut::Kind::Neutral, "DEVICE LINK", nullptr},
      {"version 5", Version5Profile(), icc::Status::Version5, gamut::Kind::Neutral, "",
       u"No gamut picture: a version 5 profile, which this program does not draw."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<icc::Profile> p;
    ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(row.bytes), &p).ok());
    gamut::PreviewSheet sheet;
    gamut::BuildPreviewSheet(*p, icc::Language(), icc::PortableCodePage(), &sheet);
    EXPECT_EQ(sheet.has_picture, row.status == icc::Status::Ok);
    const std::u16string text = gamut::SheetText(sheet);
    EXPECT_EQ(text.find(u"No gamut picture"), row.pane ? text.find(row.pane) : std::u16string::npos);
    gamut::Gamut g;
    const icc::Result r = GamutOf(std::make_unique<MemoryFile>(row.bytes), &g);
    EXPECT_EQ(r.status, row.status);
    if (!r.ok()) continue;
    EXPECT_EQ(g.kind, row.kind);
    EXPECT_STREQ(g.label, row.label);
    if (g.kind != gamut::Kind::Lut) continue;
    EXPECT_TRUE(Inside(g.outline, g.white, 0));
    if (g.colour_space == cmsSigRgbData)
      for (const gamut::Point& primary : LcmsPrimaries(row.bytes)) EXPECT_TRUE(Inside(g.outline, primary, 1e-6));
  }
}

// What one gamut may cost: the largest table the limits accept draws; one point more a side,
// one that claims more than it holds, or one of 15 channels gives up.
TEST(Gamut, CostIsCapped) {
  const struct {
    int inputs, grid, declared;
    icc::Status status;
  } cases[] = {
      {4, 34, 0, icc::Status::Ok},            // an 8.0 MB table
      {4, 35, 0, icc::Status::OutOfMemory},   // 9.0 MB: past the tag limit
      {4, 9, 60, icc::Status::OutOfMemory},   // would take 78 MB before its bytes are read
      {15, 2, 0, icc::Status::OutOfMemory},   // 2^15 corners to every sample
      {10, 2, 0, icc::Status::Ok},
  };
  for (const auto& c : cases) {
    gamut::Gamut g;
    EXPECT_EQ(GamutOf(std::make_unique<MemoryFile>(LutProfile(c.inputs, c.grid, c.declared)), &g).status,
              c.status)
        << c.inputs << " " << c.grid << " " << c.declared;
  }
}

// The preview's facts of every installed profile against Little CMS reading the file itself:
// the white point, its colour temperature (Little CMS's own Robertson) and the tag table.
TEST(PreviewSheet, FactsAgreeWithLittleCms) {
  int compared = 0;
  ForEachCorpusProfile([&](const std::string& path) {
    SCOPED_TRACE(path);
    std::unique_ptr<icc::SourceFile> file;
    std::unique_ptr<icc::Profile> p;
    ASSERT_TRUE(posix::OpenPosixFile(path, &file).ok());
    if (!icc::Profile::Open(std::move(file), &p).ok()) return;
    gamut::PreviewSheet sheet;
    gamut::BuildPreviewSheet(*p, icc::Language(), icc::PortableCodePage(), &sheet);
    const std::u16string text = gamut::SheetText(sheet);
    gamut::LcmsProfile h(cmsOpenProfileFromFile(path.c_str(), "r"));
    ASSERT_TRUE(h.h);
    ASSERT_TRUE(sheet.tags_read);
    ASSERT_EQ(sheet.tags.size(), size_t(cmsGetTagCount(h.h)));
    for (size_t i = 0; i < sheet.tags.size(); ++i)
      EXPECT_EQ(sheet.tags[i].signature, uint32_t(cmsGetTagSignature(h.h, cmsUInt32Number(i))));
    const auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(h.h, cmsSigMediaWhitePointTag));
    if (!white) return;
    cmsCIExyY xyY;
    cmsXYZ2xyY(&xyY, white);
    double lcms_k = 0;
    char expected[96];
    if (cmsTempFromWhitePoint(&lcms_k, &xyY))
      snprintf(expected, sizeof expected, "X %.4f, Y %.4f, Z %.4f\r\n\tx %.4f, y %.4f; %.0f K",
               white->X, white->Y, white->Z, xyY.x, xyY.y, lcms_k);
    else
      snprintf(expected, sizeof expected, "X %.4f, Y %.4f, Z %.4f", white->X, white->Y, white->Z);
    EXPECT_NE(text.find(u"Media white point:\t" + std::u16string(expected, expected + strlen(expected))),
              std::u16string::npos);
    ++compared;
  });
  EXPECT_GT(compared, 40);
}

// Rows sharing bytes, a tag too short for a type, a white point of the wrong type with the
// doctor's finding, a table past the gamut's limits, and a file the container refuses.
TEST(PreviewSheet, DamageIsShownNotFatal) {
  std::vector<Tag> tags = {{"A2B0", Pattern(40, 1)}, {"A2B1", {}, 132 + 12 * 4, 40},
                           {"zz00", Bytes("ab")}, {"wtpt", Bytes("curv\0\0\0\0\0\0\0\0")}};
  std::unique_ptr<icc::Profile> p;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(BuildProfile(tags)), &p).ok());
  gamut::PreviewSheet sheet;
  gamut::BuildPreviewSheet(*p, icc::Language(), icc::PortableCodePage(), &sheet);
  icc::CheckReport report;
  report.Add(icc::Severity::Error, "tag-type", icc::Signature("wtpt"), 204, "The wtpt tag is of type 'curv'.");
  gamut::FinishPreviewSheet(report, &sheet);
  const std::u16string text = gamut::SheetText(sheet);
  for (const char16_t* line : {u"A2B0\t0x01080F16\t40 bytes\tshared\r\n",
                               u"A2B1\t0x01080F16\t40 bytes\tshared\r\n", u"zz00\t-\t2 bytes\r\n",
                               u"Media white point:\t(not a profile, or a damaged one)\r\n",
                               u"No gamut picture: Little CMS makes no transform from its data.",
                               u"Health:\tTag of the wrong type\r\nError (wtpt at 204):\tThe wtpt tag is of type 'curv'.\r\n",
                               u"Profile ID:\tAbsent\r\n"})
    EXPECT_NE(text.find(line), std::u16string::npos) << std::string(line, line + 20);
  EXPECT_FALSE(sheet.has_picture);

  // A table past the gamut's limits: the sheet says why there is no picture.
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(LutProfile(4, 35)), &p).ok());
  gamut::BuildPreviewSheet(*p, icc::Language(), icc::PortableCodePage(), &sheet);
  EXPECT_NE(gamut::SheetText(sheet).find(u"No gamut picture: its tables are larger than a picture may read."),
            std::u16string::npos);

  gamut::RefusedPreviewSheet({icc::Status::InvalidProfile, 0}, &sheet);
  EXPECT_NE(gamut::SheetText(sheet).find(u"Health:\tchecking..."), std::u16string::npos);
  gamut::FinishPreviewSheet(icc::CheckReport(), &sheet);
  EXPECT_NE(gamut::SheetText(sheet).find(u"Error (header):\tThe profile cannot be read"), std::u16string::npos);
  EXPECT_EQ(gamut::SheetText(sheet).find(u"Profile ID"), std::u16string::npos);
}

// The volume and the four coverages of a display profile, in the pane's words, in order after
// the volume; a gray profile's reason for having none.
TEST(PreviewSheet, VolumeAndCoveragesOrWhyNone) {
  const auto sheet_text = [](const char* path) {
    std::unique_ptr<icc::SourceFile> file;
    std::unique_ptr<icc::Profile> p;
    gamut::PreviewSheet sheet;
    if (posix::OpenPosixFile(path, &file).ok() && icc::Profile::Open(std::move(file), &p).ok())
      gamut::BuildPreviewSheet(*p, icc::Language(), icc::PortableCodePage(), &sheet);
    if (p) gamut::MeasurePreviewSheet(*p, &sheet);
    const std::u16string text = gamut::SheetText(sheet);
    return std::string(text.begin(), text.end());  // ASCII here
  };
  const std::string shown = sheet_text("/usr/share/color/icc/colord/AdobeRGB1998.icc");
  std::size_t at = shown.find("\r\nGamut volume:\t");
  ASSERT_NE(at, std::string::npos) << shown;
  unsigned long millions = 0, thousands = 0, units = 0;  // "1,234,567"
  EXPECT_EQ(sscanf(shown.c_str() + shown.find('\t', at + 2) + 1, "%lu,%3lu,%3lu\r", &millions, &thousands, &units), 3);
  EXPECT_TRUE(millions >= 1 && millions < 2) << shown.substr(at, 40);
  for (const char* label : {"sRGB", "Adobe RGB", "Display P3", "Rec. 2020"}) {
    at = shown.find("\r\n" + std::string(label) + " coverage:\t", at);
    ASSERT_NE(at, std::string::npos) << label;
    double percent = -1;
    EXPECT_EQ(sscanf(shown.c_str() + shown.find('\t', at) + 1, "%lf %%", &percent), 1);
    // Adobe RGB holds sRGB and itself; Display P3 and Rec. 2020 only in part.
    EXPECT_TRUE(label[0] == 'D' || label[0] == 'R' ? percent > 50 && percent < 99 : percent >= 99) << label << " " << percent;
  }

  EXPECT_NE(sheet_text("/usr/share/color/icc/Gray.icc")
                .find(std::string("\r\nGamut volume:\tnone: ") + gamut::NoSolidText(gamut::NoSolid::Gray) + "\r\n"),
            std::string::npos);
}

}  // namespace
