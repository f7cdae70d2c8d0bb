// tagwright-cli plot, run as a user runs it: every installed profile drawn into plots/ beside
// the test, the PNG holding exactly the renderer's picture, damaged profiles reported with
// no file left, and the arguments checked.
#include <dirent.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gamut.h"
#include "picture.h"
#include "posix_file.h"

namespace {

const std::string kSrgb = "/usr/share/color/icc/sRGB.icc";

int Plot(const std::string& args) {
  const int status = std::system((TAGWRIGHT_CLI " plot " + args).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

TEST(Plot, EveryInstalledProfile) {
  std::string args = "-d plots";
  int profiles = 0;
  for (const char* dir : {"/usr/share/color/icc", "/usr/share/color/icc/colord", "/usr/share/color/argyll/ref"}) {
    DIR* d = opendir(dir);
    ASSERT_TRUE(d) << dir;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && (name.find(".ic") == name.size() - 4 || name.find(".IC") == name.size() - 4)) {
        args += std::string(" ") + dir + "/" + name;
        ++profiles;
      }
    }
    closedir(d);
  }
  EXPECT_GE(profiles, 49);
  EXPECT_EQ(Plot(args), 0);
  int size = 0;
  EXPECT_EQ(ReadPng("plots/Rec2020.png", &size).size(), 256u * 256u);
  // Three sRGB profiles in three folders: three pictures.
  EXPECT_EQ(ReadPng("plots/sRGB-3.png", &size).size(), 256u * 256u);
}

TEST(Plot, PictureDamageAndUsage) {
  char dir[] = "/tmp/plot_testXXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  const std::string folder = std::string(dir) + "/out", damaged = std::string(dir) + "/damaged.icc";
  {
    std::FILE* f = std::fopen(damaged.c_str(), "wb");
    std::fputs("not a profile, though long enough to be taken for one's header .......", f);
    std::fclose(f);
  }
  EXPECT_EQ(Plot(kSrgb + " " + damaged + " -d " + folder + " --size 64 --compare sRGB 2>/dev/null"), 1);
  int size = 0;
  const std::vector<uint32_t> png = ReadPng(folder + "/sRGB.png", &size);
  ASSERT_EQ(size, 64);
  std::unique_ptr<icc::SourceFile> file;
  std::unique_ptr<icc::Profile> profile;
  ASSERT_TRUE(icc::OpenPosixFile(kSrgb, &file).ok());
  ASSERT_TRUE(icc::Profile::Open(std::move(file), &profile).ok());
  gamut::Gamut g, reference;
  ASSERT_TRUE(gamut::ComputeGamut(*profile, &g).ok());
  reference.kind = gamut::Kind::Matrix;
  reference.outline = gamut::SrgbTriangle();
  std::vector<uint32_t> drawn;
  gamut::Render(g, &reference, 64, &drawn);
  EXPECT_EQ(png, drawn);
  EXPECT_NE(access((folder + "/damaged.png").c_str(), F_OK), 0);
  EXPECT_NE(access((folder + "/damaged.png.part").c_str(), F_OK), 0);

  EXPECT_EQ(Plot(kSrgb + " -o " + folder + "/one.png"), 0);
  EXPECT_EQ(ReadPng(folder + "/one.png", &size).size(), 256u * 256u);
  const std::string quiet = " >/dev/null 2>&1";
  EXPECT_EQ(Plot(kSrgb + " " + kSrgb + " -o " + folder + "/two.png" + quiet), 2);
  EXPECT_EQ(Plot(kSrgb + " --size 8 -d " + folder + quiet), 2);
  EXPECT_EQ(Plot(kSrgb + " --compare /usr/share/color/icc/Gray.icc -d " + folder + quiet), 1);
  EXPECT_NE(access((folder + "/two.png").c_str(), F_OK), 0);
  std::system(("rm -rf " + std::string(dir)).c_str());
}

}  // namespace
