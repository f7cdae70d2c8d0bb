// CDescriptionTag against real files: the exact bytes Build makes, what Read takes from a
// stored tag, Write's size bookkeeping over several saves, and the last-error value and
// untouched file that every failure leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DescriptionTag.h"
#include "icc_profile.h"
#include "profile_builder.h"
#include "scratch.h"

using namespace testing_icc;

namespace {

std::vector<uint8_t> Built(const CDescriptionTag& codec) { return codec.BuiltTag(); }

// A monitor profile with the description between two other tags.
std::vector<uint8_t> Monitor(const std::vector<uint8_t>& desc) {
  return BuildProfile({{"rXYZ", Pattern(20, 1)}, {"desc", desc}, {"gTRC", Pattern(37, 3)}});
}

// The layout itself is the native tests' (Description.RecordLayout).  Here: the editor's
// codec builds it, with a Unicode record as asked, a rebuild replaces the tag whole, and text
// comes through the ANSI code page.
TEST(Build, TheCodecBuildsTheLayoutThroughTheAnsiCodePage) {
  CDescriptionTag codec;
  for (BOOL unicode : {FALSE, TRUE})
    for (std::size_t length : {3u, 300u, 0u}) {
      SCOPED_TRACE(testing::Message() << "length " << length << " unicode " << unicode);
      std::string text(length, ' ');
      for (std::size_t i = 0; i < length; ++i) text[i] = char('A' + i % 26);
      codec.m_bUnicode = unicode;
      ASSERT_TRUE(codec.Build(text.c_str()));
      EXPECT_EQ(Built(codec), DescTag(text, unicode != FALSE));
      EXPECT_EQ(codec.m_cbTag, Built(codec).size());
    }

  if (GetACP() != 1252) GTEST_SKIP() << "expects the Western code page, not " << GetACP();
  const std::string text = "Caf\xe9 na\xefve \x80";  // the euro sign is 0x80 in this code page
  codec.m_bUnicode = TRUE;
  ASSERT_TRUE(codec.Build(text.c_str()));
  const std::size_t n = text.size() + 1;
  const std::vector<uint8_t> tag = Built(codec);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(tag.data() + 12)), text);
  const std::vector<uint8_t> wide(tag.begin() + 20 + n, tag.begin() + 20 + n + 2 * n);
  EXPECT_EQ(wide, std::vector<uint8_t>({0, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0, ' ', 0, 'n', 0, 'a',
                                        0, 0xEF, 0, 'v', 0, 'e', 0, ' ', 0x20, 0xAC, 0, 0}));
}

class Codec : public ::testing::Test {
 protected:
  ScratchFolder folder;
  CDescriptionTag codec;
  std::string text;

  BOOL ReadFrom(const std::string& path) { return codec.Read(path.c_str(), text); }
  // Builds `next` and writes it into the profile at `path`.
  BOOL Save(const std::string& path, const std::string& next) {
    EXPECT_TRUE(codec.Build(next.c_str()));
    return codec.Write(path.c_str());
  }
};

TEST_F(Codec, ReadTakesTheTextAndWhetherAUnicodePartFollows) {
  const std::string with = folder.Put("with.icc", Monitor(DescTag("Office monitor", true)));
  ASSERT_TRUE(ReadFrom(with));
  EXPECT_EQ(text, "Office monitor");
  EXPECT_TRUE(codec.m_bUnicode);
  EXPECT_EQ(codec.m_cbStored, 90u + 3 * 15);
  ASSERT_TRUE(codec.Build("x"));
  EXPECT_EQ(codec.m_cbTag, 90u + 3 * 2);

  const std::string without = folder.Put("without.icc", Monitor(DescTag("Caf\xe9", false)));
  ASSERT_TRUE(ReadFrom(without));
  EXPECT_EQ(text, "Caf\xe9");  // unchanged, whatever the code page
  EXPECT_FALSE(codec.m_bUnicode);
  ASSERT_TRUE(codec.Build("x"));
  EXPECT_EQ(codec.m_cbTag, 90u + 2);
  EXPECT_EQ(icc::LoadBE32(codec.BuiltTag().data() + 16 + 2), 0u);

  // Another writer's tag: the count covers more than the text, and the Unicode count sits
  // after the whole count.
  auto foreign = DescTag("", false);
  foreign.resize(120);
  const std::string body("Abc\0junk", 9);
  icc::StoreBE32(foreign.data() + 8, uint32_t(body.size()));
  std::copy(body.begin(), body.end(), foreign.begin() + 12);
  icc::StoreBE32(foreign.data() + 16 + body.size(), 3);
  ASSERT_TRUE(ReadFrom(folder.Put("foreign.icc", Monitor(foreign))));
  EXPECT_EQ(text, "Abc");
  EXPECT_TRUE(codec.m_bUnicode);
  EXPECT_EQ(codec.m_cbStored, 120u);
}

TEST_F(Codec, ReadFailuresGiveTheReasonAndCloseTheFile) {
  const DWORD kUnset = 12345;
  auto tiny = BuildProfile({{"desc", {'d', 'e', 's', 'c', 0, 0, 0, 0}}});
  auto empty_tag = BuildProfile({{"rXYZ", Pattern(20, 1)}, {"desc", {}}});
  auto truncated = Monitor(DescTag("Cut short", true));
  truncated.resize(truncated.size() - 30);
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    DWORD error;
    DWORD stored;  // m_cbStored after the failure: set once the size is known
  } cases[] = {
      {"empty.icc", {}, ERROR_INVALID_PROFILE, kUnset},
      {"text.icc", std::vector<uint8_t>(400, 'x'), ERROR_INVALID_PROFILE, kUnset},
      {"truncated.icc", truncated, ERROR_INVALID_PROFILE, kUnset},
      {"nodesc.icc", BuildProfile({{"rXYZ", Pattern(20, 1)}}), ERROR_TAG_NOT_FOUND, kUnset},
      {"tiny.icc", tiny, ERROR_INVALID_PROFILE, 8},
      {"emptytag.icc", empty_tag, ERROR_INVALID_PROFILE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Read succeeded earlier: a failure before the text is taken keeps the Unicode flag.
    ASSERT_TRUE(ReadFrom(folder.Put("sound.icc", Monitor(DescTag("Sound", true)))));
    codec.m_cbStored = kUnset;
    const std::string path = folder.Put(c.name, c.bytes);
    EXPECT_FALSE(ReadFrom(path));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_TRUE(codec.m_bUnicode);
    EXPECT_EQ(codec.m_cbStored, c.stored);
    EXPECT_TRUE(OpenExclusively(path)) << "the profile was left open";
    EXPECT_TRUE(DeleteFileA(path.c_str()));
  }

  EXPECT_FALSE(ReadFrom(folder.File("missing.icc")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(ReadFrom(folder.File("no such folder\\a.icc")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(ReadFrom(folder.Path()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

  // Held open by someone who shares nothing.
  const std::string locked = folder.Put("locked.icc", Monitor(DescTag("Locked", false)));
  HANDLE h = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReadFrom(locked));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(h);
}

TEST_F(Codec, WriteReplacesTheTagAndKeepsEverythingElse) {
  const auto before = Monitor(DescTag("Office monitor", true));
  const std::string path = folder.Put("monitor.icc", before);
  ASSERT_TRUE(ReadFrom(path));
  ASSERT_TRUE(Save(path, "Caf\xe9 and a description somewhat longer than before"));
  EXPECT_EQ(codec.m_cbStored, codec.m_cbTag);

  const auto after = FileBytes(path);
  EXPECT_EQ(after.size(), before.size() + icc::Pad4(uint32_t(codec.m_cbTag)) - icc::Pad4(90u + 3 * 15));
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
  EXPECT_TRUE(std::equal(before.begin() + 4, before.begin() + 128, after.begin() + 4));
  const auto tags = TagsOf(after);
  EXPECT_EQ(tags.at("desc"), Built(codec));
  EXPECT_EQ(tags.at("rXYZ"), Pattern(20, 1));
  EXPECT_EQ(tags.at("gTRC"), Pattern(37, 3));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"monitor.icc"});

  CDescriptionTag again;
  ASSERT_TRUE(again.Read(path.c_str(), text));
  EXPECT_EQ(text, "Caf\xe9 and a description somewhat longer than before");
  EXPECT_TRUE(again.m_bUnicode);
}

TEST_F(Codec, EachSaveCountsFromTheSizeThePreviousOneStored) {
  const std::string path = folder.Put("twice.icc", Monitor(DescTag("", false)));
  ASSERT_TRUE(ReadFrom(path));
  ASSERT_EQ(codec.m_cbStored, 91u);
  // Tag sizes 95, 100, 95, 92, 91 (no Unicode part): their padded sizes step by
  // +4, +4, -4, -4 and 0.
  struct Step { const char* text; int change; } steps[] = {
      {"abcd", 4}, {"abcdefghi", 4}, {"abcd", -4}, {"a", -4}, {"", 0}};
  uint64_t length = FileBytes(path).size();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.text);
    ASSERT_TRUE(Save(path, s.text));
    const auto bytes = FileBytes(path);
    EXPECT_EQ(int64_t(bytes.size()) - int64_t(length), s.change);
    EXPECT_EQ(icc::LoadBE32(bytes.data()), bytes.size());
    EXPECT_EQ(codec.m_cbStored, codec.m_cbTag);
    EXPECT_EQ(TagsOf(bytes).at("desc"), Built(codec));
    length = bytes.size();
  }
}

TEST_F(Codec, DescriptionSharedWithAnotherTagLeavesThatTagAlone) {
  const auto d = DescTag("Shared", false);
  const std::string path = folder.Put(
      "shared.icc", BuildProfile({{"desc", d, 168}, {"dmdd", d, 168}, {"dmnd", Pattern(12, 9), 268}}));
  ASSERT_TRUE(ReadFrom(path));
  ASSERT_TRUE(Save(path, "Only the description changes"));
  const auto after = FileBytes(path);
  const auto tags = TagsOf(after);
  EXPECT_EQ(tags.at("desc"), Built(codec));
  EXPECT_EQ(tags.at("dmdd"), d);
  EXPECT_EQ(tags.at("dmnd"), Pattern(12, 9));
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
}

TEST_F(Codec, EmptyLocalizedNameIsLeftAlone) {
  // A localized copy of the name ('dscm') with no bytes at all: nothing to update in it,
  // and no reason to fail the save.
  const std::string path = folder.Put(
      "dscm.icc", BuildProfile({{"desc", DescTag("Old", false)}, {"dscm", {}}, {"rXYZ", Pattern(20, 1)}}));
  ASSERT_TRUE(ReadFrom(path));
  ASSERT_TRUE(Save(path, "New")) << GetLastError();
  const auto tags = TagsOf(FileBytes(path));
  EXPECT_EQ(tags.at("desc"), Built(codec));
  EXPECT_TRUE(tags.at("dscm").empty());
  EXPECT_EQ(tags.at("rXYZ"), Pattern(20, 1));
}

TEST_F(Codec, WriteKeepsTheFileAttributes) {
  const std::string path = folder.Put("hidden.icc", Monitor(DescTag("Hidden", false)));
  const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
  if ((GetFileAttributesA(path.c_str()) & attributes) != attributes)
    GTEST_SKIP() << "this file system does not keep the hidden attribute";
  ASSERT_TRUE(ReadFrom(path));
  ASSERT_TRUE(Save(path, "Still hidden"));
  EXPECT_EQ(GetFileAttributesA(path.c_str()) & attributes, attributes);
  EXPECT_EQ(TagsOf(FileBytes(path)).at("desc"), Built(codec));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"hidden.icc"});
}

TEST_F(Codec, FailedWritesLeaveTheFileAsItWas) {
  const auto original = Monitor(DescTag("Original", true));
  const std::string path = folder.Put("profile.icc", original);
  ASSERT_TRUE(ReadFrom(path));
  const DWORD stored = codec.m_cbStored;

  // Before any Build there is nothing to write.
  EXPECT_FALSE(codec.Write(path.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));

  ASSERT_TRUE(codec.Build("A new text that never arrives"));
  auto check = [&](const char* what, BOOL ok, DWORD error) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), error);
    EXPECT_EQ(FileBytes(path), original);
    EXPECT_EQ(codec.m_cbStored, stored);
  };

  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  check("read-only file", codec.Write(path.c_str()), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));

  // A reader that lets others read but not write.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  check("held open", codec.Write(path.c_str()), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"profile.icc"});

  EXPECT_FALSE(codec.Write(folder.File("missing.icc").c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  const std::string junk = folder.Put("junk.icc", std::vector<uint8_t>(300, 'j'));
  EXPECT_FALSE(codec.Write(junk.c_str()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PROFILE));
  EXPECT_EQ(FileBytes(junk), std::vector<uint8_t>(300, 'j'));
  EXPECT_EQ(codec.m_cbStored, stored);
}

TEST_F(Codec, WriteFailingAfterTheOpenStoresNothing) {
  // A tag table that is full: the description cannot be added to it.
  std::vector<Tag> tags;
  for (uint32_t i = 0; i < icc::kMaxTags; ++i) {
    char name[5];
    icc::StoreBE32(reinterpret_cast<uint8_t*>(name), 0x41414141 + i);
    name[4] = 0;
    tags.push_back({name, Pattern(4, 1), uint32_t(icc::kTagTableStart + 12 * icc::kMaxTags)});
  }
  const auto original = BuildProfile(tags);
  const std::string path = folder.Put("full.icc", original);
  EXPECT_FALSE(ReadFrom(path));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_TAG_NOT_FOUND));
  EXPECT_FALSE(Save(path, "Nowhere to go"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(FileBytes(path), original);
  EXPECT_TRUE(OpenExclusively(path));
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"full.icc"});
}

}  // namespace
