// Examines, with Little CMS and none of our own profile code, the copies of installed
// profiles that the Windows tests saved new descriptions into.  Each folder holds a
// manifest.txt with one line per copy:
//   copy's path <TAB> original's path <TAB> the new description in hex
// (a copy's path without a leading '/' is taken within the manifest's folder).
// A copy must open, carry exactly the description record the editor makes from that
// text, have a size field equal to its length, keep its tag data on 4-byte boundaries and
// every other tag byte for byte.
//
// Copies of version 4 profiles lie in the folder of the same name with "_v4" added; their
// manifest lines add the description shown before the save, in hex.  Their localized
// records must all be kept but the one shown, which holds the new text, and their profile
// ID must be the MD5 of the saved file.
//
// The folders are those of the two Windows builds, or the ':'-separated list in
// TAGWRIGHT_REAL_PROFILES.
//
// The property handler's tests also leave, in the folder "properties" beside their copies,
// a manifest of what the handler read from each installed profile:
//   profile's path <TAB> then, each in hex of its UTF-8 text ("-" when absent): title,
//   copyright, device class, colour space, connection space, intent, version, creation
//   date (YYYY-MM-DD hh:mm:ss), manufacturer, model, profile ID state
// and each must be what Little CMS reads from the profile, shown on one line.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> Folders() {
  const char* list = std::getenv("TAGWRIGHT_REAL_PROFILES");
  std::string text = list ? list : REAL_PROFILE_FOLDERS;
  const char separator = list ? ':' : ';';
  std::vector<std::string> folders;
  std::stringstream in(text);
  for (std::string folder; std::getline(in, folder, separator);)
    if (!folder.empty()) folders.push_back(folder);
  return folders;
}

bool ReadAll(const std::string& path, Bytes* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

uint32_t BigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void PutBigEndian(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}

std::string FromHex(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    text += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return text;
}

// A profile opened by Little CMS, closed on every path.
struct Opened {
  explicit Opened(const std::string& path) : h(cmsOpenProfileFromFile(path.c_str(), "r")) {}
  ~Opened() {
    if (h) cmsCloseProfile(h);
  }
  Opened(const Opened&) = delete;
  Opened& operator=(const Opened&) = delete;
  cmsHPROFILE h;
};

bool RawTag(cmsHPROFILE h, cmsTagSignature sig, Bytes* bytes) {
  const cmsUInt32Number size = cmsReadRawTag(h, sig, nullptr, 0);
  bytes->assign(size, 0);
  return size == 0 || cmsReadRawTag(h, sig, bytes->data(), size) == size;
}

// Whether a stored description record has a Unicode part: its Unicode count, after the
// ASCII part, is not 0.
bool HasUnicode(const Bytes& tag) {
  if (tag.size() < 12) return false;
  const uint64_t count = BigEndian(tag.data() + 8);
  return 20 + count <= tag.size() && BigEndian(tag.data() + 16 + count) != 0;
}

// The description record made from `text`, every number big-endian.  Text outside 7-bit
// ASCII always has a Unicode part.  The Unicode part
// takes each byte as its Latin-1 character, which for the texts of these tests is what
// the Western Windows code page gives.
Bytes ExpectedRecord(const std::string& text, bool unicode) {
  const uint32_t n = uint32_t(text.size() + 1);
  Bytes tag = {'d', 'e', 's', 'c', 0, 0, 0, 0};
  PutBigEndian(tag, n);
  tag.insert(tag.end(), text.begin(), text.end());
  tag.push_back(0);
  PutBigEndian(tag, 0);  // language
  PutBigEndian(tag, unicode ? n : 0);
  if (unicode) {
    for (unsigned char c : text) {
      tag.push_back(0);
      tag.push_back(c);
    }
    tag.push_back(0);
    tag.push_back(0);
  }
  tag.push_back(0);  // ScriptCode code
  tag.push_back(0);
  const uint32_t script = n < 67 ? n : 67;
  tag.push_back(uint8_t(script));
  Bytes field(67, 0);
  std::copy_n(text.c_str(), script - 1, field.begin());  // the count includes the zero
  tag.insert(tag.end(), field.begin(), field.end());
  return tag;
}

// Signatures of the tags whose data does not start on a 4-byte boundary, read from the
// file's tag table.
std::vector<uint32_t> UnalignedTags(const Bytes& file) {
  std::vector<uint32_t> unaligned;
  const uint64_t count = BigEndian(file.data() + 128);
  for (uint64_t i = 0; i < count && 132 + 12 * (i + 1) <= file.size(); ++i) {
    const uint8_t* row = file.data() + 132 + 12 * i;
    if (BigEndian(row + 4) % 4 != 0) unaligned.push_back(BigEndian(row));
  }
  return unaligned;
}

// Every tag but the description as it was, and no tag more or less.
void ExpectOtherTagsUnchanged(cmsHPROFILE before, cmsHPROFILE after) {
  const cmsInt32Number count = cmsGetTagCount(before);
  EXPECT_EQ(cmsGetTagCount(after), count);
  for (cmsInt32Number i = 0; i < count; ++i) {
    const cmsTagSignature sig = cmsGetTagSignature(before, cmsUInt32Number(i));
    if (sig == cmsSigProfileDescriptionTag) continue;
    Bytes a, b;
    ASSERT_TRUE(RawTag(before, sig, &a));
    EXPECT_TRUE(cmsIsTag(after, sig)) << std::hex << sig;
    ASSERT_TRUE(RawTag(after, sig, &b));
    EXPECT_EQ(a, b) << "tag " << std::hex << sig << " changed";
  }
}

// Every check of one copy; failures name the copy.
void CheckCopy(const std::string& copy, const std::string& original, const std::string& text) {
  SCOPED_TRACE(copy);
  for (unsigned char c : text)
    ASSERT_TRUE(c < 0x80 || c >= 0xA0) << "the expected Unicode part assumes Latin-1 text";

  Bytes file;
  ASSERT_TRUE(ReadAll(copy, &file)) << "cannot read the copy";
  ASSERT_GE(file.size(), 132u);
  EXPECT_EQ(BigEndian(file.data()), file.size()) << "size field";

  Bytes old_file;
  ASSERT_TRUE(ReadAll(original, &old_file));
  EXPECT_EQ(UnalignedTags(file), UnalignedTags(old_file)) << "tag data off 4-byte boundaries";

  Opened before(original), after(copy);
  ASSERT_NE(before.h, nullptr) << "Little CMS cannot open " << original;
  ASSERT_NE(after.h, nullptr) << "Little CMS cannot open the copy";

  // The stored record, byte for byte.
  Bytes old_desc, new_desc;
  ASSERT_TRUE(RawTag(before.h, cmsSigProfileDescriptionTag, &old_desc));
  ASSERT_TRUE(RawTag(after.h, cmsSigProfileDescriptionTag, &new_desc));
  const bool seven_bit =
      std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
  EXPECT_EQ(new_desc, ExpectedRecord(text, HasUnicode(old_desc) || !seven_bit));

  ExpectOtherTagsUnchanged(before.h, after.h);

  // The description as a colour management system reads it.
  Opened reread(copy);
  const auto* mlu = static_cast<const cmsMLU*>(cmsReadTag(reread.h, cmsSigProfileDescriptionTag));
  ASSERT_NE(mlu, nullptr) << "Little CMS cannot read the description";
  char ascii[512] = {};
  cmsMLUgetASCII(mlu, cmsNoLanguage, cmsNoCountry, ascii, sizeof ascii);
  EXPECT_EQ(std::string(ascii), text);
}

TEST(RealProfiles, CopiesHoldTheNewDescriptionAndEveryOtherTag) {
  int folders = 0;
  for (const std::string& folder : Folders()) {
    std::ifstream manifest(folder + "/manifest.txt");
    if (!manifest) {
      std::printf("no copies in %s\n", folder.c_str());
      continue;
    }
    ++folders;
    int copies = 0;
    for (std::string line; std::getline(manifest, line);) {
      std::stringstream fields(line);
      std::string name, original, hex;
      std::getline(fields, name, '\t');
      std::getline(fields, original, '\t');
      std::getline(fields, hex, '\t');
      ASSERT_FALSE(name.empty() || original.empty()) << "manifest line: " << line;
      CheckCopy(name[0] == '/' ? name : folder + "/" + name, original, FromHex(hex));
      ++copies;
    }
    EXPECT_GT(copies, 0) << folder;
    std::printf("checked %d copies in %s\n", copies, folder.c_str());
  }
  if (folders == 0) GTEST_SKIP() << "no copies to check: run the Windows tests first";
}

// The localized records of the description, by language and country, as Little CMS reads
// them.
std::vector<std::pair<std::string, std::wstring>> Records(cmsHPROFILE h) {
  std::vector<std::pair<std::string, std::wstring>> records;
  const auto* mlu = static_cast<const cmsMLU*>(cmsReadTag(h, cmsSigProfileDescriptionTag));
  if (!mlu) return records;
  for (cmsUInt32Number i = 0; i < cmsMLUtranslationsCount(mlu); ++i) {
    char language[3] = {}, country[3] = {};
    if (!cmsMLUtranslationsCodes(mlu, i, language, country)) continue;
    wchar_t text[1024] = {};
    cmsMLUgetWide(mlu, language, country, text, sizeof text);
    records.emplace_back(std::string(language) + "-" + country, text);
  }
  return records;
}

std::string Description(cmsHPROFILE h) {
  char text[1024] = {};
  cmsGetProfileInfoASCII(h, cmsInfoDescription, "en", "US", text, sizeof text);
  return text;
}

// Whether the profile ID in the header is Little CMS's MD5 over the file with the flags, the
// rendering intent and the ID itself taken as zero.
bool IdMatches(const Bytes& file) {
  Bytes zeroed = file;
  std::fill(zeroed.begin() + 44, zeroed.begin() + 48, 0);
  std::fill(zeroed.begin() + 64, zeroed.begin() + 68, 0);
  std::fill(zeroed.begin() + 84, zeroed.begin() + 100, 0);
  cmsHANDLE md5 = cmsMD5alloc(nullptr);
  if (!md5) return false;
  cmsMD5add(md5, zeroed.data(), cmsUInt32Number(zeroed.size()));
  cmsProfileID id;
  cmsMD5finish(&id, md5);
  return std::equal(id.ID8, id.ID8 + 16, file.begin() + 84);
}

void CheckVersion4Copy(const std::string& copy, const std::string& original,
                       const std::string& text, const std::string& shown) {
  SCOPED_TRACE(copy);
  Bytes file;
  ASSERT_TRUE(ReadAll(copy, &file)) << "cannot read the copy";
  ASSERT_GE(file.size(), 132u);
  EXPECT_EQ(BigEndian(file.data()), file.size()) << "size field";

  Opened before(original), after(copy);
  ASSERT_NE(before.h, nullptr);
  ASSERT_NE(after.h, nullptr) << "Little CMS cannot open the copy";
  EXPECT_EQ(Description(before.h), shown) << "the description shown before the save";
  EXPECT_EQ(Description(after.h), text);

  Bytes desc;
  ASSERT_TRUE(RawTag(after.h, cmsSigProfileDescriptionTag, &desc));
  ASSERT_GE(desc.size(), 4u);
  EXPECT_EQ(std::string(desc.begin(), desc.begin() + 4), "mluc");

  // Every record but the US English one keeps its text.
  auto old_records = Records(before.h), new_records = Records(after.h);
  ASSERT_EQ(new_records.size(), old_records.size());
  for (std::size_t i = 0; i < old_records.size(); ++i) {
    EXPECT_EQ(new_records[i].first, old_records[i].first);
    if (old_records[i].first != "en-US") EXPECT_EQ(new_records[i].second, old_records[i].second);
  }

  ExpectOtherTagsUnchanged(before.h, after.h);

  EXPECT_TRUE(IdMatches(file)) << "profile ID";
}

TEST(RealProfiles, Version4CopiesKeepTheirRecordsAndCarryTheirId) {
  int folders = 0;
  for (const std::string& base : Folders()) {
    const std::string folder = base + "_v4";
    std::ifstream manifest(folder + "/manifest.txt");
    if (!manifest) continue;
    ++folders;
    int copies = 0;
    for (std::string line; std::getline(manifest, line);) {
      std::stringstream fields(line);
      std::string name, original, hex, shown;
      std::getline(fields, name, '\t');
      std::getline(fields, original, '\t');
      std::getline(fields, hex, '\t');
      std::getline(fields, shown, '\t');
      ASSERT_FALSE(name.empty() || original.empty()) << "manifest line: " << line;
      CheckVersion4Copy(name[0] == '/' ? name : folder + "/" + name, original, FromHex(hex),
                        FromHex(shown));
      ++copies;
    }
    EXPECT_GT(copies, 0) << folder;
    std::printf("checked %d version 4 copies in %s\n", copies, folder.c_str());
  }
  if (folders == 0) GTEST_SKIP() << "no copies to check: run the Windows tests first";
}

// Words for the header fields, as the handler gives them.
std::string Word(const std::vector<std::pair<cmsUInt32Number, const char*>>& table, cmsUInt32Number v) {
  for (const auto& row : table)
    if (row.first == v) return row.second;
  return "Unknown";
}

std::string ClassWord(cmsProfileClassSignature c) {
  return Word({{cmsSigAbstractClass, "Abstract"}, {cmsSigLinkClass, "Link"},
               {cmsSigDisplayClass, "Monitor"}, {cmsSigNamedColorClass, "Named"},
               {cmsSigOutputClass, "Printer"}, {cmsSigInputClass, "Scanner"},
               {cmsSigColorSpaceClass, "Color Space"}}, c);
}

std::string SpaceWord(cmsColorSpaceSignature s) {
  std::vector<std::pair<cmsUInt32Number, const char*>> table = {
      {cmsSigXYZData, "XYZ"}, {cmsSigLabData, "Lab"}, {cmsSigLuvData, "Luv"},
      {cmsSigYCbCrData, "YCbCr"}, {cmsSigYxyData, "Yxy"}, {cmsSigRgbData, "RGB"},
      {cmsSigGrayData, "Gray Scale"}, {cmsSigHsvData, "HSV"}, {cmsSigHlsData, "HLS"},
      {cmsSigCmykData, "CMYK"}, {cmsSigCmyData, "CMY"}};
  static const char* const generic[] = {"Generic 2 channel", "Generic 3 channel", "Generic 4 channel",
                                        "Generic 5 channel", "Generic 6 channel", "Generic 7 channel",
                                        "Generic 8 channel"};
  for (int n = 2; n <= 8; ++n) table.push_back({cmsUInt32Number(0x30434C52 + (n << 24)), generic[n - 2]});
  return Word(table, s);
}

std::string Utf8(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) {
    const uint32_t c = uint32_t(*text);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A text as a one-line surface shows it: a line break (CR LF as one) and a tab are a space,
// any other control character is U+FFFD.
std::wstring OnOneLine(const wchar_t* text) {
  std::wstring out;
  for (; *text; ++text) {
    const wchar_t c = *text;
    if ((c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029 || c == '\t') {
      if (c == '\r' && text[1] == '\n') ++text;
      out += L' ';
    } else {
      out += c < 0x20 || (c >= 0x7F && c <= 0x9F) ? wchar_t(0xFFFD) : c;
    }
  }
  return out;
}

std::string Info(cmsHPROFILE h, cmsInfoType what) {
  wchar_t text[4096] = {};
  if (cmsGetProfileInfo(h, what, "en", "US", text, sizeof text / sizeof *text) == 0) return "-";
  return Utf8(OnOneLine(text).c_str());
}

// What the handler must give for the profile, read by Little CMS.
std::vector<std::string> ExpectedProperties(const std::string& path) {
  Opened p(path);
  Bytes file;
  if (!p.h || !ReadAll(path, &file)) return {};
  const cmsUInt32Number version = cmsGetEncodedICCversion(p.h);
  char text[32];
  if (version >> 16 & 0xF)
    std::snprintf(text, sizeof text, "%u.%u.%u", version >> 24, version >> 20 & 0xF, version >> 16 & 0xF);
  else
    std::snprintf(text, sizeof text, "%u.%u", version >> 24, version >> 20 & 0xF);
  std::string created = "-";
  struct tm when = {};
  if (cmsGetHeaderCreationDateTime(p.h, &when) && when.tm_mon >= 0 && when.tm_mday >= 1) {
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    created = date;
  }
  cmsUInt8Number id[16];
  cmsGetHeaderProfileID(p.h, id);
  const bool has_id = (version >> 24) >= 4 && std::any_of(id, id + 16, [](cmsUInt8Number b) { return b != 0; });
  const char* const intents[] = {"Perceptual", "Relative Colorimetric", "Saturation", "Absolute Colorimetric"};
  const cmsUInt32Number intent = cmsGetHeaderRenderingIntent(p.h);
  const cmsColorSpaceSignature pcs = cmsGetPCS(p.h);
  return {Info(p.h, cmsInfoDescription),
          Info(p.h, cmsInfoCopyright),
          ClassWord(cmsGetDeviceClass(p.h)),
          SpaceWord(cmsGetColorSpace(p.h)),
          pcs == cmsSigLabData || pcs == cmsSigXYZData ? SpaceWord(pcs) : "Unknown",
          intent < 4 ? intents[intent] : "Unknown",
          text,
          created,
          Info(p.h, cmsInfoManufacturer),
          Info(p.h, cmsInfoModel),
          !has_id ? "Absent" : IdMatches(file) ? "Valid" : "Wrong"};
}

TEST(RealProfiles, PropertiesAreWhatLittleCmsReads) {
  int profiles = 0;
  for (const std::string& base : Folders()) {
    const std::string folder = base.substr(0, base.rfind('/')) + "/properties";
    std::ifstream manifest(folder + "/manifest.txt");
    if (!manifest) continue;
    for (std::string line; std::getline(manifest, line);) {
      std::stringstream fields(line);
      std::string path, hex;
      std::getline(fields, path, '\t');
      std::vector<std::string> got;
      while (std::getline(fields, hex, '\t')) got.push_back(FromHex(hex));
      const std::vector<std::string> expected = ExpectedProperties(path);
      ASSERT_EQ(expected.size(), 11u) << "Little CMS cannot open " << path;
      EXPECT_EQ(got, expected) << path;
      ++profiles;
    }
  }
  if (profiles == 0) GTEST_SKIP() << "no properties to check: run the Windows tests first";
  std::printf("checked the properties of %d profiles\n", profiles);
}

}  // namespace
