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
#include <stdexcept>
#include <string>
#include <vector>

#include "DescriptionTag.h"
#include "scratch.h"

using namespace testing_icc;

namespace {

// Where Linux's /usr/share/color appears to Windows programs under Wine.
const char kColourRoot[] = "Z:\\usr\\share\\color";
const char* const kPatterns[] = {"argyll\\ref\\*.icm", "icc\\*.icc", "icc\\*.icm",
                                 "icc\\colord\\*.icc"};

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

struct Source {
  std::string path;   // as Windows sees it
  std::string label;  // unique name for the copies
};

bool IsVersion(const std::string& path, int version) {
  try {
    const auto bytes = FileBytes(path);
    return bytes.size() >= 128 && bytes[8] == version;
  } catch (const std::exception&) {
    return false;
  }
}

std::vector<Source> InstalledProfiles(int version) {
  std::vector<Source> found;
  for (const char* pattern : kPatterns) {
    const std::string wildcard = std::string(kColourRoot) + "\\" + pattern;
    const std::string folder = wildcard.substr(0, wildcard.rfind('\\'));
    std::string prefix = folder.substr(folder.rfind('\\') + 1);
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(wildcard.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) continue;
    do {
      const std::string path = folder + "\\" + data.cFileName;
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsVersion(path, version))
        found.push_back({path, prefix + "-" + data.cFileName});
    } while (FindNextFileA(h, &data));
    FindClose(h);
  }
  return found;
}

// Wine shows the Linux file system as drive Z:.
std::string LinuxPath(const std::string& windows) {
  if (windows.size() < 3 || (windows[0] != 'Z' && windows[0] != 'z') || windows[1] != ':')
    throw std::runtime_error(windows + " is not on drive Z:");
  std::string path = windows.substr(2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string Hex(const std::string& text) {
  std::string hex;
  char digits[3];
  for (unsigned char c : text) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    hex += digits;
  }
  return hex;
}

// An empty folder of that name in the working directory.
std::string FreshFolder(const char* name) {
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  const std::string out = std::string(cwd) + "\\" + name;
  RemoveFolder(out);
  if (!CreateDirectoryA(out.c_str(), nullptr))
    throw std::runtime_error("cannot create " + out);
  return out;
}

void WriteManifest(const std::string& folder, const std::string& manifest) {
  FILE* f = std::fopen((folder + "\\manifest.txt").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(manifest.data(), 1, manifest.size(), f);
  ASSERT_EQ(std::fclose(f), 0);
}

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
      EXPECT_EQ(check.m_bUnicode, reader.m_bUnicode);
      EXPECT_EQ(check.m_cbStored, codec.m_cbTag);

      manifest += LinuxPath(copy) + "\t" + LinuxPath(source.path) + "\t" + Hex(v.text) + "\n";
      ++written;
    }
  }

  WriteManifest(out, manifest);
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
  WriteManifest(out, manifest);
  std::printf("%zu version 4 profiles written to %s\n", sources.size(), out.c_str());
}

}  // namespace
