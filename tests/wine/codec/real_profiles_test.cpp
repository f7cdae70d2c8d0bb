// Saves new descriptions into copies of the profiles installed on the machine.  The copies
// of version 2 profiles stay in the folder "realprofiles" of the working directory, listed
// in its manifest.txt, one line per copy, paths as Linux sees them:
//   copy's path <TAB> original's path <TAB> new description in hex
// Those of version 4 profiles go to "realprofiles_v4", whose manifest lines also give the
// description shown before the save:
//   copy's path <TAB> original's path <TAB> new description in hex <TAB> shown one in hex
// A native checker built on Little CMS then examines them independently.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DescriptionTag.h"
#include "real_profiles.h"
#include "scratch.h"

using namespace testing_icc;

namespace {

struct Variant {
  const char* name;
  const char* text;
  bool western;  // bytes above 127 that the checker reads as the Western code page's
} const kVariants[] = {
    {"short", "Short", false},
    {"long", "A description longer than sixty-seven bytes: the ScriptCode part keeps 67 of them",
     false},
    {"empty", "", false},
    {"accented", "Caf\xe9 na\xefve", true},
};

TEST(RealProfiles, NewDescriptionsInCopiesOfEveryVersion2Profile) {
  if (GetFileAttributesA(kColourRoot) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << kColourRoot << " is not there";
  const std::vector<Source> sources = InstalledProfiles(2);
  ASSERT_FALSE(sources.empty());

  const std::string out = FreshFolder("realprofiles");

  std::string manifest;
  int written = 0;
  for (const Source& source : sources) {
    std::string original;
    CDescriptionTag reader;
    if (!reader.Read(source.path.c_str(), original)) {
      ADD_FAILURE() << source.path << ": Read failed with " << GetLastError();
      continue;
    }
    const std::string stem = source.label.substr(0, source.label.rfind('.'));
    const std::string extension = source.label.substr(source.label.rfind('.'));
    for (const Variant& v : kVariants) {
      if (v.western && GetACP() != 1252) continue;
      const std::string name = stem + "." + v.name + extension;
      const std::string copy = out + "\\" + name;
      SCOPED_TRACE(copy);
      ASSERT_TRUE(CopyFileA(source.path.c_str(), copy.c_str(), FALSE)) << GetLastError();
      SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);

      CDescriptionTag codec;
      std::string text;
      ASSERT_TRUE(codec.Read(copy.c_str(), text)) << GetLastError();
      EXPECT_EQ(text, original);
      ASSERT_TRUE(codec.Build(v.text));
      ASSERT_TRUE(codec.Write(copy.c_str())) << GetLastError();

      CDescriptionTag check;
      ASSERT_TRUE(check.Read(copy.c_str(), text)) << GetLastError();
      EXPECT_EQ(text, v.text);
      EXPECT_EQ(check.m_bUnicode, reader.m_bUnicode || v.western);  // its text is not 7-bit
      EXPECT_EQ(check.m_cbStored, codec.m_cbTag);

      manifest += LinuxPath(copy) + "\t" + LinuxPath(source.path) + "\t" + Hex(v.text) + "\n";
      ++written;
    }
  }

  ASSERT_TRUE(WriteManifest(out, manifest));
  std::printf("%zu version 2 profiles, %d copies written to %s\n", sources.size(), written,
              out.c_str());
}

// Version 4 profiles keep their localized records: the shown one (US English under Wine)
// takes the new text, and the profile ID is recomputed.
TEST(RealProfiles, NewDescriptionsInCopiesOfEveryVersion4Profile) {
  if (GetFileAttributesA(kColourRoot) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << kColourRoot << " is not there";
  const std::vector<Source> sources = InstalledProfiles(4);
  ASSERT_FALSE(sources.empty());
  const std::string out = FreshFolder("realprofiles_v4");

  std::string manifest;
  for (const Source& source : sources) {
    const std::string copy = out + "\\" + source.label;
    SCOPED_TRACE(copy);
    ASSERT_TRUE(CopyFileA(source.path.c_str(), copy.c_str(), FALSE)) << GetLastError();
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);

    CDescriptionTag codec;
    std::string shown;
    ASSERT_TRUE(codec.Read(copy.c_str(), shown)) << GetLastError();
    EXPECT_FALSE(shown.empty());
    const std::string text = "Edited: " + shown;
    ASSERT_TRUE(codec.Build(text.c_str()));
    ASSERT_TRUE(codec.Write(copy.c_str())) << GetLastError();

    CDescriptionTag check;
    std::string back;
    ASSERT_TRUE(check.Read(copy.c_str(), back)) << GetLastError();
    EXPECT_EQ(back, text);
    manifest += LinuxPath(copy) + "\t" + LinuxPath(source.path) + "\t" + Hex(text) + "\t" +
                Hex(shown) + "\n";
  }
  ASSERT_TRUE(WriteManifest(out, manifest));
  std::printf("%zu version 4 profiles written to %s\n", sources.size(), out.c_str());
}

}  // namespace
