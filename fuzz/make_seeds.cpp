// Writes the fuzzers' seed corpora:
//   make_seeds OUT PROFILE_DIR...
// OUT/profile gets every profile found under the given folders (up to 64 KB), the same
// with edits asked for in the reserved header bytes, and small profiles with the layouts
// that the container must handle (shared, overlapping, unordered, unaligned tags, gaps,
// trailing bytes).  OUT/desc gets the description records ('desc' type) of each profile
// and a few sound and damaged ones; OUT/mluc its localized records ('mluc' type).  The
// folders are emptied first, so that a fuzzer run that adds inputs to them does not make
// the next smoke run longer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "icc_profile.h"
#include "localized_text.h"
#include "profile_builder.h"

using namespace testing_icc;

namespace {

constexpr std::size_t kMaxSeed = 64 * 1024;

void EmptyFolder(const std::string& dir) {
  mkdir(dir.c_str(), 0755);
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') std::remove((dir + "/" + e->d_name).c_str());
    closedir(d);
  }
}

bool IsProfileName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext) c = char(std::tolower(uint8_t(c)));
  return ext == ".icc" || ext == ".icm";
}

void FindProfiles(const std::string& dir, std::vector<std::string>* out) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = dir + "/" + e->d_name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) FindProfiles(path, out);
    else if (S_ISREG(st.st_mode) && IsProfileName(e->d_name)) out->push_back(path);
  }
  closedir(d);
}

// The bytes of every tag of the profile whose type is `type`.
std::vector<std::vector<uint8_t>> TagsOfType(const std::vector<uint8_t>& file, const char* type) {
  std::vector<std::vector<uint8_t>> tags;
  if (file.size() < icc::kTagTableStart) return tags;
  const uint32_t count = icc::LoadBE32(file.data() + icc::kHeaderSize);
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t row = icc::kTagTableStart + std::size_t(i) * icc::kTagEntrySize;
    if (row + icc::kTagEntrySize > file.size()) break;
    const uint64_t offset = icc::LoadBE32(file.data() + row + 4);
    const uint64_t size = icc::LoadBE32(file.data() + row + 8);
    if (size < 4 || offset + size > file.size() || std::memcmp(&file[offset], type, 4) != 0)
      continue;
    tags.emplace_back(file.begin() + offset, file.begin() + offset + size);
  }
  return tags;
}

// The same profile asking the fuzzer's container target for edits (see its header).
std::vector<uint8_t> WithEdits(std::vector<uint8_t> file, uint8_t which, uint8_t flags,
                               uint16_t change) {
  file[100] = which;
  file[101] = flags;
  file[102] = uint8_t(which + 1);
  file[103] = 2;
  std::memcpy(&file[104], "ndin", 4);
  file[108] = uint8_t(change >> 8);
  file[109] = uint8_t(change);
  file[111] = 3;
  file[113] = 2;
  file[115] = 5;
  return file;
}

std::vector<std::vector<uint8_t>> Layouts() {
  const auto desc = DescTag("Synthetic RGB", true);
  const auto curve = Pattern(14, 3);
  const auto xyz = Pattern(20, 9);
  std::vector<std::vector<uint8_t>> out;
  out.push_back(BuildProfile({{"desc", desc}, {"rTRC", curve}, {"wtpt", xyz}}));
  // Two entries on the same bytes, and a third inside another's padding.
  out.push_back(BuildProfile(
      {{"desc", desc}, {"rTRC", curve, 400}, {"gTRC", curve, 400}, {"bTRC", Pattern(3, 1), 414}}));
  // Tags out of offset order, with gaps and trailing bytes after the last.
  out.push_back(BuildProfile({{"wtpt", xyz, 600}, {"desc", desc, 300}, {"cprt", Bytes("text")}},
                             700));
  // A last tag that ends the file without padding, and an empty tag.
  out.push_back(BuildProfile({{"desc", desc}, {"zero", {}, 200, 0}, {"rTRC", Pattern(5, 2)}}));
  std::vector<uint8_t> unpadded = BuildProfile({{"desc", desc}, {"rTRC", Pattern(5, 2)}});
  unpadded.resize(unpadded.size() - 3);
  icc::StoreBE32(unpadded.data(), uint32_t(unpadded.size()));
  out.push_back(unpadded);
  // No tags at all.
  out.push_back(BuildProfile({}));
  // Lookup tables without a colour grid, of RGB and of YCbCr, and a version 5 profile.
  out.push_back(CurveMatrixProfile(false));
  out.push_back(CurveMatrixProfile(true));
  out.push_back(Version5Profile());
  return out;
}

std::vector<std::vector<uint8_t>> Records() {
  std::vector<std::vector<uint8_t>> out = {DescTag("", false), DescTag("", true),
                                           DescTag(std::string(66, 'x'), true),
                                           DescTag(std::string(80, '\xE9'), false)};
  auto damaged = DescTag("Count past the end", true);
  icc::StoreBE32(damaged.data() + 8, 0xFFFFFFF0u);
  out.push_back(damaged);
  out.push_back(std::vector<uint8_t>(damaged.begin(), damaged.begin() + 12));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT [PROFILE_DIR...]\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  mkdir(out.c_str(), 0755);
  const std::string profiles = out + "/profile", records = out + "/desc",
                    localized = out + "/mluc", tips = out + "/tip", drops = out + "/drop";
  for (const std::string& dir : {profiles, records, localized, tips, drops}) EmptyFolder(dir);

  int n = 0, d = 0, l = 0, t = 0;
  auto put = [](const std::string& dir, int index, const std::vector<uint8_t>& bytes) {
    WriteFileBytes(dir + "/" + std::to_string(index), bytes);
  };
  try {
    std::vector<std::string> found;
    for (int i = 2; i < argc; ++i) FindProfiles(argv[i], &found);
    std::vector<std::vector<uint8_t>> files = Layouts();
    for (const std::string& path : found) {
      std::vector<uint8_t> file = FileBytes(path);
      if (!file.empty() && file.size() <= kMaxSeed) files.push_back(std::move(file));
    }
    for (const auto& file : files) {
      put(profiles, n++, file);
      if (file.size() >= icc::kTagTableStart) {
        put(profiles, n++, WithEdits(file, 1, 4 | 2 | 8, 5));
        put(profiles, n++, WithEdits(file, 0xFF, 1 | 16, 2));
      }
      for (const auto& tag : TagsOfType(file, "desc")) put(records, d++, tag), put(tips, t++, tag);
      for (const auto& tag : TagsOfType(file, "mluc")) put(localized, l++, tag), put(tips, t++, tag);
    }
    for (const auto& record : Records()) put(records, d++, record);
    // A table whose en-US record comes last, far past the first rows a reader takes at once.
    std::vector<icc::LocalizedRecord> rows(200, icc::LocalizedRecord("en", "AA", u"x"));
    rows.emplace_back("en", "US", u"English");
    put(localized, l++, icc::BuildLocalizedText(rows));
    put(tips, t++, icc::BuildLocalizedText(rows));
    // Drop lists as the shell makes them, ANSI and UTF-16.
    const char ansi[] = "C:\\a.icc\0D:\\color\\b.icm\0";
    const char16_t wide[] = u"C:\\\u00e9.icc\0D:\\\U0001F600.icm\0";
    for (bool is_wide : {false, true}) {
      std::vector<uint8_t> block(20, 0);
      block[0] = 20;
      block[16] = is_wide;
      if (is_wide)
        for (char16_t c : wide) block.push_back(uint8_t(c)), block.push_back(uint8_t(c >> 8));
      else
        block.insert(block.end(), ansi, ansi + sizeof ansi);
      put(drops, is_wide, block);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_seeds: %s\n", e.what());
    return 1;
  }
  std::printf("%d profile seeds, %d description seeds, %d localized seeds\n", n, d, l);
  return 0;
}
