// The codec's Unicode forms: paths outside the ANSI code page, version 4 text that goes from
// its UTF-16 record to the caller and back unchanged, and version 2 text that the code page
// cannot hold, kept whole in the Unicode record.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DescriptionTag.h"
#include "description.h"
#include "profile_builder.h"
#include "scratch.h"

using namespace testing_icc;

namespace {

const wchar_t kGreek[] = L"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac";
const wchar_t kMixed[] = L"\u039a\u03cc\u03c3\u03bc\u03bf\u03c2 \u4e16\u754c \U0001F600";

std::wstring Widen(const std::string& ansi) {
  std::wstring wide(ansi.size() + 1, L'\0');
  wide.resize(std::size_t(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0],
                                              int(wide.size())) - 1));
  return wide;
}

std::vector<uint8_t> ReadWide(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return bytes;
  for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
  std::fclose(f);
  return bytes;
}

void WriteWide(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::u16string U16(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), wcslen(text));
}

TEST(Unicode, Version4TextAndPathsOutsideTheCodePage) {
  ASSERT_EQ(GetACP(), 1252u);
  ScratchFolder folder;
  const std::wstring path = Widen(folder.Path()) + L"\\" + kMixed + L".icc";
  const std::vector<icc::LocalizedRecord> records = {{"de", "DE", u"Alt"}, {"en", "US", u"Old"}};
  std::vector<uint8_t> profile = BuildProfile(
      {{"desc", icc::BuildLocalizedText(records)}, {"cprt", Pattern(30, 7)}});
  profile[8] = 4;
  WriteWide(path, profile);

  for (const wchar_t* text : {kGreek, kMixed}) {
    CDescriptionTag codec;
    std::wstring shown;
    ASSERT_TRUE(codec.Read(path.c_str(), shown)) << GetLastError();
    ASSERT_TRUE(codec.Build(text));
    ASSERT_TRUE(codec.Write(path.c_str())) << GetLastError();
    ASSERT_TRUE(codec.Read(path.c_str(), shown));
    EXPECT_EQ(shown, text);

    auto tags = TagsOf(ReadWide(path));
    std::vector<icc::LocalizedRecord> expected = records;
    expected[1].text = U16(text);
    EXPECT_EQ(tags["desc"], icc::BuildLocalizedText(expected));
    EXPECT_EQ(tags["cprt"], Pattern(30, 7));
  }
}

TEST(Unicode, Version2KeepsWhatTheCodePageCannotHold) {
  ScratchFolder folder;
  const std::wstring path = Widen(folder.Path()) + L"\\" + kGreek + L".icm";
  const std::vector<uint8_t> name = icc::BuildLocalizedText({{"en", "US", u"Old"}});
  WriteWide(path, BuildProfile({{"desc", DescTag("Old", false)}, {"dscm", name}}));

  // Chinese: the ASCII record gets the ANSI form, the added Unicode record the text, and
  // the wide Read gives the text back.
  CDescriptionTag codec;
  std::wstring shown;
  ASSERT_TRUE(codec.Read(path.c_str(), shown));
  EXPECT_EQ(shown, L"Old");
  ASSERT_TRUE(codec.Build(L"\u4e2d\u6587 text"));
  ASSERT_TRUE(codec.Write(path.c_str())) << GetLastError();
  auto tags = TagsOf(ReadWide(path));
  icc::Description d;
  ASSERT_TRUE(icc::ParseDescription(tags["desc"].data(), tags["desc"].size(), {}, &d));
  EXPECT_EQ(d.ascii, "?? text");
  EXPECT_TRUE(d.has_unicode);
  EXPECT_EQ(d.unicode, u"\u4e2d\u6587 text");
  EXPECT_EQ(tags["dscm"], icc::BuildLocalizedText({{"en", "US", u"\u4e2d\u6587 text"}}));
  CDescriptionTag reader;
  ASSERT_TRUE(reader.Read(path.c_str(), shown));
  EXPECT_EQ(shown, L"\u4e2d\u6587 text");

  // Text the code page holds: the same bytes as the ANSI form.
  const std::wstring plain = Widen(folder.Put("plain.icc", BuildProfile({{"desc", DescTag("Old", false)}})));
  CDescriptionTag wide, ansi;
  ASSERT_TRUE(wide.Read(plain.c_str(), shown));
  ASSERT_TRUE(wide.Build(L"Caf\u00e9"));
  ASSERT_TRUE(ansi.Build("Caf\xe9"));
  EXPECT_EQ(wide.BuiltTag(), ansi.BuiltTag());
}

}  // namespace
