// tagwright-cli plot's pictures: the native PNG holds exactly the renderer's picture, and
// the PNGs that the Windows builds wrote under Wine show what the native ones show (both
// left by plot_proof.py).
#include <dirent.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "gamut.h"
#include "picture.h"
#include "posix_file.h"
#include "profile_builder.h"

namespace {

// The pixels of a PNG as 0xAARRGGBB.
std::vector<uint32_t> ReadPng(const std::string& path, int* size) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> argb;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return argb;
  image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB in memory on a little-endian machine
  argb.resize(std::size_t(image.width) * image.height);
  png_image_finish_read(&image, nullptr, argb.data(), 0, nullptr);
  *size = int(image.width);
  return argb;
}

std::vector<uint32_t> Drawn(const std::string& profile_path, const gamut::Gamut* compare, int size) {
  std::unique_ptr<icc::SourceFile> file;
  std::unique_ptr<icc::Profile> profile;
  gamut::Gamut g;
  std::vector<uint32_t> drawn;
  if (posix::OpenPosixFile(profile_path, &file).ok() &&
      icc::Profile::Open(std::move(file), &profile).ok() && gamut::ComputeGamut(*profile, &g).ok())
    gamut::Render(g, compare, size, &drawn);
  return drawn;
}

// The PNG keeps straight alpha: its translucent edges keep their full colour.
TEST(Plot, PngHoldsThePicture) {
  char dir[] = "/tmp/plot_testXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string png = std::string(dir) + "/sRGB.png", srgb = "/usr/share/color/icc/sRGB.icc";
  ASSERT_EQ(std::system((TAGWRIGHT_CLI " plot " + srgb + " --size 64 --compare sRGB -o " + png).c_str()), 0);
  gamut::Gamut reference;
  reference.kind = gamut::Kind::Matrix;
  reference.outline = gamut::SrgbTriangle();
  int size = 0;
  const std::vector<uint32_t> pixels = ReadPng(png, &size);
  EXPECT_EQ(pixels, Drawn(srgb, &reference, 64));
  EXPECT_TRUE(std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 16 & 0xFF) > p >> 24; }));
  std::system(("rm -rf " + std::string(dir)).c_str());
}

// Lookup tables without a colour grid, of RGB and of YCbCr, are drawn; a version 5 profile
// is named for what it is.
TEST(Plot, DrawsWhatLittleCmsTransforms) {
  char dir[] = "/tmp/plot_testXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string d = dir;
  testing_icc::WriteFileBytes(d + "/rgb.icc", testing_icc::CurveMatrixProfile(false));
  testing_icc::WriteFileBytes(d + "/ycc.icc", testing_icc::CurveMatrixProfile(true));
  testing_icc::WriteFileBytes(d + "/v5.icc", testing_icc::Version5Profile());
  const int rc = std::system((TAGWRIGHT_CLI " plot -r " + d + " -d " + d + " --size 64 2>" + d + "/err").c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  const std::vector<uint8_t> err = testing_icc::FileBytes(d + "/err");
  EXPECT_EQ(std::string(err.begin(), err.end()), d + "/v5.icc: a version 5 profile, which this program does not draw\n");
  int size = 0;
  EXPECT_EQ(ReadPng(d + "/rgb.png", &size).size(), 64u * 64u);
  EXPECT_EQ(ReadPng(d + "/ycc.png", &size).size(), 64u * 64u);
  std::system(("rm -rf " + d).c_str());
}

// Little CMS built for Windows and the other compiler may move an edge by a fraction of a
// pixel: a picture may differ from the native one in a few edge pixels, by little.
TEST(Plot, WindowsPicturesMatchTheNativeOnes) {
  const std::string native = SOURCE_DIR "/build/native/tests/cli/plot/plots/";
  int pictures = 0;
  for (const char* build : {"win32", "win64"}) {
    const std::string plots = std::string(SOURCE_DIR "/build/") + build + "/tests/cli/plot/plots/";
    DIR* d = opendir(plots.c_str());
    if (!d) continue;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name[0] == '.') continue;
      int size = 0, native_size = 0;
      const std::vector<uint32_t> png = ReadPng(plots + name, &size);
      const std::vector<uint32_t> mine = ReadPng(native + name, &native_size);
      ASSERT_EQ(png.size(), mine.size()) << build << " " << name;
      std::size_t off = 0;
      for (std::size_t i = 0; i < png.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8)
          if (std::abs(int(png[i] >> shift & 0xFF) - int(mine[i] >> shift & 0xFF)) > 8) {
            ++off;
            break;
          }
      EXPECT_LE(off, png.size() / 1000) << build << " " << name;
      ++pictures;
    }
    closedir(d);
  }
  if (pictures == 0) GTEST_SKIP() << "no Windows pictures to compare: run the Windows tests first";
}

}  // namespace
