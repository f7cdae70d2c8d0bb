// The description codec: the exact bytes of a description record, what is kept when a
// description changes, and a whole profile given a new description.
#include <gtest/gtest.h>

#include "description.h"
#include "profile_builder.h"

using namespace testing_icc;

namespace {

const icc::Language kGerman = {{'d', 'e'}, {'D', 'E'}};

icc::Description Parse(const std::vector<uint8_t>& tag, const icc::Language& language = {}) {
  icc::Description d;
  EXPECT_TRUE(icc::ParseDescription(tag.data(), tag.size(), language, &d));
  return d;
}

std::vector<uint8_t> Build(const icc::Description& d) {
  std::vector<uint8_t> tag;
  EXPECT_TRUE(icc::BuildDescription(d, &tag));
  return tag;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(Description, RecordLayoutAndRoundTrip) {
  // Lengths around the ScriptCode field's 67 bytes, with and without a Unicode record.
  for (std::size_t length : {0, 5, 66, 67, 200})
    for (bool unicode : {false, true}) {
      const std::string text(length, 'a');
      icc::Description d = Parse(DescTag("old", unicode));
      icc::SetDescriptionText(&d, Widen(text), text, false);
      const std::vector<uint8_t> tag = Build(d);
      EXPECT_EQ(tag, DescTag(text, unicode)) << length << unicode;
      const icc::Description back = Parse(tag);
      EXPECT_EQ(back.ascii, text);
      EXPECT_EQ(back.has_unicode, unicode);
      EXPECT_EQ(back.unicode, unicode ? Widen(text) : u"");
    }
}

TEST(Description, TextTheCodePageCannotHoldGoesToTheUnicodeRecord) {
  // No Unicode record before; a Greek word with an emoji (a surrogate pair) whose code page
  // form is shorter than the text: the record is added and holds every unit.
  const std::u16string text = u"\u039a\u03b1\u03bb\u03ae \U0001F600 night";
  icc::Description d = Parse(DescTag("old", false));
  icc::SetDescriptionText(&d, text, "???? ? night", true);
  const std::vector<uint8_t> tag = Build(d);
  const icc::Description back = Parse(tag);
  EXPECT_EQ(back.ascii, "???? ? night");
  EXPECT_TRUE(back.has_unicode);
  EXPECT_EQ(back.unicode, text);
  EXPECT_EQ(icc::DescriptionText(back), text);
  const std::size_t n = 13;
  EXPECT_EQ(icc::LoadBE32(tag.data() + 16 + n), 1 + 13u + 1);  // the mark, the text, its zero

  // A text whose code page form is longer (double-byte) than its UTF-16: the count follows
  // the ASCII record, and the units after the text are zero.
  icc::SetDescriptionText(&d, u"\u65e5\u672c", "\x93\xfa\x96\x7b", true);
  const std::vector<uint8_t> dbcs = Build(d);
  EXPECT_EQ(icc::LoadBE32(dbcs.data() + 21), 5u + 1);
  EXPECT_EQ(dbcs.size(), 90 + 5 + 2 + 2 * 5u);
  EXPECT_EQ(Parse(dbcs).unicode, u"\u65e5\u672c");
}

TEST(Description, UnicodeRecordsAsFoundInFiles) {
  std::vector<uint8_t> tag = DescTag("ab", true);  // mark FE FF, then "ab"
  tag[23] = 0xFF;                                   // a reversed mark: little-endian units
  tag[24] = 0xFE;
  tag[25] = 'a'; tag[26] = 0; tag[27] = 'b'; tag[28] = 0;
  EXPECT_EQ(Parse(tag).unicode, u"ab");
  icc::StoreBE32(tag.data() + 19, 1000);  // a count past the tag: only what the tag holds
  EXPECT_EQ(Parse(tag).unicode, u"ab");

  // Without a Unicode text, the ASCII record is read as Windows-1252.
  EXPECT_EQ(icc::DescriptionText(Parse(DescTag("\x80 caf\xe9", false))), u"\u20ac caf\u00e9");
}

TEST(Description, LocalizedRecordsKeepTheOthers) {
  const std::vector<icc::LocalizedRecord> records = {
      {"en", "US", u"Paper"}, {"de", "DE", u"Papier"}, {"fr", "FR", u"Papier fran\u00e7ais"}};
  icc::Description d = Parse(icc::BuildLocalizedText(records), kGerman);
  ASSERT_EQ(d.kind, icc::DescriptionKind::Localized);
  EXPECT_EQ(d.shown, 1);
  EXPECT_EQ(icc::DescriptionText(d), u"Papier");

  const std::u16string text = u"\u7d19 \U0001F4C4";
  icc::SetDescriptionText(&d, text, "ignored", true);
  std::vector<icc::LocalizedRecord> expected = records;
  expected[1].text = text;
  EXPECT_EQ(Build(d), icc::BuildLocalizedText(expected));

  // No record at all: an en-US one is added and shown.
  icc::Description empty = Parse(icc::BuildLocalizedText({}));
  icc::SetDescriptionText(&empty, u"New", "New", false);
  EXPECT_EQ(Build(empty), icc::BuildLocalizedText({{"en", "US", u"New"}}));
}

TEST(Description, ProfileGetsTheEditorsBytes) {
  const std::vector<uint8_t> name = icc::BuildLocalizedText(
      {{"en", "US", u"Name"}, {"de", "DE", u"Name DE"}});
  const std::vector<uint8_t> file = BuildProfile({{"cprt", Pattern(37, 1)},
                                                  {"desc", DescTag("Old", true)},
                                                  {"dscm", name},
                                                  {"wtpt", Pattern(20, 2)}});
  std::unique_ptr<icc::Profile> profile;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(file), &profile).ok());

  icc::Description d;
  ASSERT_TRUE(icc::ReadDescription(*profile, kGerman, &d).ok());
  EXPECT_EQ(d.ascii, "Old");
  icc::SetDescriptionText(&d, u"Neu \u00fc", "Neu \xfc", false);
  ASSERT_TRUE(icc::StoreDescription(*profile, d, kGerman).ok());
  MemorySink sink;
  ASSERT_TRUE(profile->WriteTo(sink).ok());

  auto before = TagsOf(file);
  auto after = TagsOf(sink.bytes);
  EXPECT_EQ(after["cprt"], before["cprt"]);
  EXPECT_EQ(after["wtpt"], before["wtpt"]);
  icc::Description stored = Parse(after["desc"]);
  EXPECT_EQ(stored.ascii, "Neu \xfc");
  EXPECT_EQ(stored.unicode, u"Neu \u00fc");
  EXPECT_EQ(after["dscm"],
            icc::BuildLocalizedText({{"en", "US", u"Name"}, {"de", "DE", u"Neu \u00fc"}}));
  EXPECT_EQ(icc::LoadBE32(sink.bytes.data()), sink.bytes.size());

  // Without a 'desc' tag there is nothing to read.
  std::unique_ptr<icc::Profile> bare;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(BuildProfile({{"cprt", Pattern(8, 3)}})),
                                 &bare).ok());
  EXPECT_EQ(icc::ReadDescription(*bare, kGerman, &d).status, icc::Status::TagNotFound);
}

}  // namespace
