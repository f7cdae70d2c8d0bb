// The description codec: which text a description shows, what an edit keeps, the exact
// bytes of a description record, and a whole profile given a new description.
#include <gtest/gtest.h>

#include <cstring>

#include "description.h"
#include "profile_builder.h"
#include "profile_properties.h"
#include "shown_text.h"

using namespace testing_icc;

using namespace std::string_literals;

namespace {

const icc::Language kGerman = {{'d', 'e'}, {'D', 'E'}};
const icc::CodePage& kPortable = icc::PortableCodePage();

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

// A stored description record: the ASCII record's bytes and, unless null, a Unicode record.
std::vector<uint8_t> Record(const std::string& ascii, const char16_t* unicode) {
  icc::Description d;
  d.ascii = ascii;
  d.has_unicode = unicode != nullptr;
  if (unicode) d.unicode = unicode;
  return Build(d);
}

// The tag read a part at a time, as the info tip and the property handler read it.
class Parts : public icc::TagBytes {
 public:
  explicit Parts(const std::vector<uint8_t>& tag) : tag_(tag) {}
  uint32_t Size() override { return uint32_t(tag_.size()); }
  bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) override {
    if (offset > tag_.size()) return false;
    *count = std::min<uint32_t>(*count, uint32_t(tag_.size()) - offset);
    std::memcpy(buffer, tag_.data() + offset, *count);
    return true;
  }

 private:
  const std::vector<uint8_t>& tag_;
};

std::vector<uint8_t> UnicodeBytes(const std::vector<uint8_t>& tag) {
  const icc::Description d = Parse(tag);
  return d.unicode_stored;
}

const char16_t* const kWorld = u"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u4e2d\u6587 \U0001F600 caf\u00e9";

TEST(Description, OneRuleForReadingAndWriting) {
  // `unicode` null: no Unicode record.  `text` null: only read.  `unicode_after`: the
  // Unicode record's text after the edit; null where the stored record is kept byte for byte.
  struct Case {
    const char* name;
    std::string ascii;
    const char16_t* unicode;
    const char16_t* shown;
    const char16_t* text;
    std::string ascii_after;
    const char16_t* unicode_after;
  };
  const Case cases[] = {
      // The Windows build in code page 1252, and the same text written here.
      {"agree, 1252", "???????? ?? ?? caf\xe9", kWorld, kWorld, u"bar", "bar", u"bar"},
      {"agree, 7-bit", "???????? ?? ?? caf?", kWorld, kWorld, u"caf\u00e9 bar", "caf? bar",
       u"caf\u00e9 bar"},
      {"agree, Latin", "caf\xe9", u"caf\u00e9", u"caf\u00e9", nullptr, "", nullptr},
      {"agree, a '?' of its own", "Why?", u"Why?", u"Why?", u"Because", "Because", u"Because"},
      // Renamed by a tool that knows only the ASCII record, or a translation.
      {"disagree, ASCII edit", "New name", u"Old name", u"New name", u"Newer", "Newer", nullptr},
      {"disagree, emptied", "New name", u"Old name", u"New name", u"", "", u""},
      {"disagree, would agree", "New", u"Ol\u00e9", u"New", u"Ol?", "Ol?", u"Ol?"},
      {"disagree, translation", "Monitor", u"Bildschirm", u"Monitor", u"\u4e2d\u6587",
       "??", u"\u4e2d\u6587"},
      {"disagree, runs in other places", "a?b", u"ab\u00e9", u"a?b", nullptr, "", nullptr},
      // Double-byte code pages: a second byte may look like ASCII ("\x95\x5c" is one
      // character in code page 932); a Latin letter after an accented one is still a letter.
      {"agree, double-byte", "\x95\x5c\x8e\xa6 \x81\x40x", u"\u8868\u793a \u3000x",
       u"\u8868\u793a \u3000x", nullptr, "", nullptr},
      {"agree, a letter after an accent", "\xc9ric", u"\u00c9ric", u"\u00c9ric", nullptr, "", nullptr},
      {"empty Unicode record", "Name", u"", u"Name", u"Other", "Other", nullptr},
      {"empty ASCII record", "", u"\u4e2d\u6587", u"\u4e2d\u6587", u"x", "x", u"x"},
      {"missing, 1252 bytes", "\x80 caf\xe9", nullptr, u"\u20ac caf\u00e9", u"plain", "plain",
       nullptr},
      {"missing, then Greek", "old", nullptr, u"old", kWorld, "???????? ?? ? caf?", kWorld},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> stored = Record(c.ascii, c.unicode);
    icc::Description d = Parse(stored);
    EXPECT_EQ(icc::DescriptionText(d, kPortable), c.shown);
    Parts parts(stored);
    std::u16string bounded;
    bool cut = true;
    ASSERT_TRUE(icc::ReadShownDescription(parts, {}, kPortable, 64, &bounded, &cut));
    EXPECT_EQ(bounded, c.shown);
    EXPECT_FALSE(cut);
    if (!c.text) continue;

    ASSERT_TRUE(icc::SetDescriptionText(&d, c.text, kPortable));
    const std::vector<uint8_t> written = Build(d);
    const icc::Description back = Parse(written);
    EXPECT_EQ(icc::DescriptionText(back, kPortable), c.text);
    EXPECT_EQ(back.ascii, c.ascii_after);
    if (c.unicode_after)
      EXPECT_EQ(back.unicode, c.unicode_after);
    else
      EXPECT_EQ(UnicodeBytes(written), UnicodeBytes(stored));
  }

  // Text that is not UTF-16 is refused and changes nothing.
  icc::Description d = Parse(Record("old", u"old"));
  for (const std::u16string& bad : {std::u16string(1, char16_t(0xD800)) + u"x",
                                    std::u16string(u"x") + char16_t(0xDC00),
                                    std::u16string(u"a\0b", 3), std::u16string(u"\uFEFFx")})
    EXPECT_FALSE(icc::SetDescriptionText(&d, bad, kPortable));
  EXPECT_FALSE(d.changed);
}

TEST(Description, RecordLayout) {
  // Lengths around the ScriptCode field's 67 bytes, with and without a Unicode record.
  for (std::size_t length : {0, 5, 66, 67, 200})
    for (bool unicode : {false, true}) {
      const std::string text(length, 'a');
      icc::Description d = Parse(DescTag("old", unicode));
      ASSERT_TRUE(icc::SetDescriptionText(&d, std::u16string(text.begin(), text.end()), kPortable));
      const std::vector<uint8_t> tag = Build(d);
      EXPECT_EQ(tag, DescTag(text, unicode)) << length << unicode;
      const uint8_t* script = tag.data() + tag.size() - 68;
      EXPECT_EQ(script[0], std::min<std::size_t>(length + 1, 67));
      EXPECT_EQ(script[std::min<std::size_t>(length, 66) + 1], 0);  // the text's zero
    }

  // A code page form longer than the UTF-16 text: the count follows the ASCII record.
  icc::Description d = Parse(DescTag("old", false));
  d.ascii = "\x93\xfa\x96\x7b";
  d.has_unicode = true;
  d.unicode = u"\u65e5\u672c";
  const std::vector<uint8_t> dbcs = Build(d);
  EXPECT_EQ(icc::LoadBE32(dbcs.data() + 21), 5u);
  EXPECT_EQ(Parse(dbcs).unicode, u"\u65e5\u672c");

  // Records as found in files: a byte-order mark, reversed or not, is no part of the text.
  std::vector<uint8_t> tag = Record("ab", u"\xFEFF" u"ab");
  EXPECT_EQ(Parse(tag).unicode, u"ab");
  tag[23] = 0xFF, tag[24] = 0xFE, tag[25] = 'a', tag[26] = 0, tag[27] = 'b', tag[28] = 0;
  EXPECT_EQ(Parse(tag).unicode, u"ab");

  // Plain text (textType) is read whole and stays plain; other text needs Unicode.
  std::vector<uint8_t> plain = Bytes(std::string("text\0\0\0\0Studio Monitor 2024", 27));
  icc::Description p = Parse(plain);
  EXPECT_EQ(icc::DescriptionText(p, kPortable), u"Studio Monitor 2024");
  ASSERT_TRUE(icc::SetDescriptionText(&p, u"Studio 2025", kPortable));
  EXPECT_EQ(Build(p), Bytes(std::string("text\0\0\0\0Studio 2025\0", 20)));
  ASSERT_TRUE(icc::SetDescriptionText(&p, u"Studio \u00e9", kPortable));
  EXPECT_EQ(icc::DescriptionText(Parse(Build(p)), kPortable), u"Studio \u00e9");
}

TEST(Description, DamagedTagsAreNotRewritten) {
  std::vector<uint8_t> ascii_past = DescTag("Name", true);
  icc::StoreBE32(ascii_past.data() + 8, 0xFFFFFFFF);
  std::vector<uint8_t> unicode_past = DescTag("Name", true);
  icc::StoreBE32(unicode_past.data() + 21, 0xFFFFFFFF);
  std::vector<uint8_t> record_past =
      icc::BuildLocalizedText({{"en", "US", u"Paper"}, {"de", "DE", u"Papier"}});
  icc::StoreBE32(record_past.data() + 16 + 12 + 8, 0xFFF0);
  std::vector<uint8_t> count_past = icc::BuildLocalizedText({{"en", "US", u"Paper"}});
  icc::StoreBE32(count_past.data() + 8, 0xFFFFFFFF);
  for (const auto& tag : {ascii_past, unicode_past, record_past, count_past,
                          Bytes(std::string("XYZ ") + std::string(12, 0))}) {
    icc::Description d = Parse(tag);
    EXPECT_NE(d.damage, nullptr);
    std::unique_ptr<icc::Profile> profile;
    const std::vector<uint8_t> file = BuildProfile({{"desc", tag}});
    ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(file), &profile).ok());
    icc::SetDescriptionText(&d, u"x", kPortable);
    EXPECT_EQ(icc::StoreDescription(*profile, d).status, icc::Status::InvalidProfile);
    EXPECT_FALSE(profile->Modified());
  }
}

TEST(Description, LocalizedRecordsKeepTheOthers) {
  const std::vector<icc::LocalizedRecord> records = {
      {"en", "US", u"Paper"}, {"de", "DE", u"Papier"}, {"fr", "FR", u"Papier fran\u00e7ais"}};
  icc::Description d = Parse(icc::BuildLocalizedText(records), kGerman);
  ASSERT_EQ(d.kind, icc::DescriptionKind::Localized);
  EXPECT_EQ(icc::DescriptionText(d, kPortable), u"Papier");

  const std::u16string text = u"\u7d19 \U0001F4C4";
  ASSERT_TRUE(icc::SetDescriptionText(&d, text, kPortable));
  std::vector<icc::LocalizedRecord> expected = records;
  expected[1].text = text;
  EXPECT_EQ(Build(d), icc::BuildLocalizedText(expected));

  // No record at all: an en-US one is added and shown.
  icc::Description empty = Parse(icc::BuildLocalizedText({}));
  ASSERT_TRUE(icc::SetDescriptionText(&empty, u"New", kPortable));
  EXPECT_EQ(Build(empty), icc::BuildLocalizedText({{"en", "US", u"New"}}));
}

TEST(Description, ProfileKeepsWhatWasNotShown) {
  // The localized name: the record that said the text shown moves with it, a translation
  // stays.
  const std::vector<uint8_t> name = icc::BuildLocalizedText(
      {{"en", "US", u"Old"}, {"de", "DE", u"Alt deutsch"}});
  const std::vector<uint8_t> file = BuildProfile({{"cprt", Pattern(37, 1)},
                                                  {"desc", DescTag("Old", true)},
                                                  {"dscm", name},
                                                  {"wtpt", Pattern(20, 2)}});
  std::unique_ptr<icc::Profile> profile;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(file), &profile).ok());

  icc::Description d;
  ASSERT_TRUE(icc::ReadDescription(*profile, kGerman, &d).ok());
  EXPECT_EQ(icc::DescriptionText(d, kPortable), u"Old");
  ASSERT_TRUE(icc::SetDescriptionText(&d, u"Neu \u00fc", kPortable));
  ASSERT_TRUE(icc::StoreDescription(*profile, d).ok());
  MemorySink sink;
  ASSERT_TRUE(profile->WriteTo(sink).ok());

  auto before = TagsOf(file);
  auto after = TagsOf(sink.bytes);
  EXPECT_EQ(after["cprt"], before["cprt"]);
  EXPECT_EQ(after["wtpt"], before["wtpt"]);
  icc::Description stored = Parse(after["desc"]);
  EXPECT_EQ(stored.ascii, "Neu ?");
  EXPECT_EQ(stored.unicode, u"Neu \u00fc");
  EXPECT_EQ(after["dscm"],
            icc::BuildLocalizedText({{"en", "US", u"Neu \u00fc"}, {"de", "DE", u"Alt deutsch"}}));
  EXPECT_EQ(icc::LoadBE32(sink.bytes.data()), sink.bytes.size());

  // Without a 'desc' tag there is nothing to read.
  std::unique_ptr<icc::Profile> bare;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(BuildProfile({{"cprt", Pattern(8, 3)}})),
                                 &bare).ok());
  EXPECT_EQ(icc::ReadDescription(*bare, kGerman, &d).status, icc::Status::TagNotFound);
}

// A localized tag whose rows lie `stride` bytes apart, the texts after the table.
std::vector<uint8_t> LocalizedTag(const std::vector<icc::LocalizedRecord>& records,
                                  uint32_t stride) {
  std::vector<uint8_t> tag = icc::BuildLocalizedText(records);
  if (stride == icc::kLocalizedRecordSize || records.empty()) return tag;
  const std::size_t old_table = 16 + 12 * records.size();
  const std::size_t table = 16 + stride * (records.size() - 1) + 12;
  std::vector<uint8_t> wide(tag.begin(), tag.begin() + 16);
  wide.resize(table);
  wide.insert(wide.end(), tag.begin() + std::ptrdiff_t(old_table), tag.end());
  icc::StoreBE32(wide.data() + 12, stride);
  for (std::size_t i = 0; i < records.size(); ++i) {
    uint8_t* row = wide.data() + 16 + i * stride;
    std::copy_n(tag.begin() + std::ptrdiff_t(16 + 12 * i), 12, row);
    icc::StoreBE32(row + 8, uint32_t(icc::LoadBE32(row + 8) - old_table + table));
  }
  return wide;
}

// Every bounded reader (the tip's, the one behind the properties, the pane and plot, the
// pane's count of translations) chooses the record from the whole table, as the whole tag's
// parse does, however far past the read limit the record's row lies.
TEST(Description, BoundedReadersChooseFromTheWholeTable) {
  std::vector<icc::LocalizedRecord> many;
  for (int i = 0; i < 5998; ++i) {
    const std::string text = "title " + std::to_string(i);
    many.emplace_back("en", "AA", std::u16string(text.begin(), text.end()));
  }
  many.emplace_back("de", "AT", u"Deutsch");    // row 5998, past the first 64 KB
  many.emplace_back("en", "US", u"English\0"s);  // with the zero many records end with
  const std::vector<uint8_t> table = icc::BuildLocalizedText(many);
  const std::vector<uint8_t> wide =
      LocalizedTag({{"fr", "FR", u"Fran\u00e7ais"}, {"en", "US", u"English"}}, 70000);
  struct Case {
    const char* name;
    const std::vector<uint8_t>& tag;
    icc::Language language;
    int64_t index;
    std::u16string shown;
  } cases[] = {
      {"en-US past 64 KB", table, {{'e', 'n'}, {'U', 'S'}}, 5999, u"English"},
      {"the language alone", table, {{'d', 'e'}, {'C', 'H'}}, 5998, u"Deutsch"},
      {"no such language: en-US", table, {{'j', 'a'}, {'J', 'P'}}, 5999, u"English"},
      {"the exact record first", table, {{'e', 'n'}, {'A', 'A'}}, 0, u"title 0"},
      {"rows wider than the limit", wide, {{'e', 'n'}, {'U', 'S'}}, 1, u"English"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const icc::Description whole = Parse(c.tag, c.language);
    EXPECT_EQ(whole.shown, c.index);
    EXPECT_EQ(icc::ShownText(icc::DescriptionText(whole, kPortable), icc::TextLines::One), c.shown);

    Parts parts(c.tag);
    std::u16string text;
    bool cut = true;
    ASSERT_TRUE(icc::ReadShownDescription(parts, c.language, kPortable, icc::kMaxShownTextBytes,
                                          &text, &cut));
    EXPECT_EQ(text, c.shown);
    EXPECT_FALSE(cut);

    std::unique_ptr<icc::Profile> profile;
    ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(BuildProfile({{"desc", c.tag}})),
                                   &profile).ok());
    ASSERT_TRUE(icc::ReadStoredText(*profile, icc::kDescriptionTag, c.language, kPortable, &text,
                                    &cut).ok());
    EXPECT_EQ(text, c.shown);
    icc::LocalizedChoice choice;
    ASSERT_TRUE(icc::ReadLocalizedChoice(*profile, icc::kDescriptionTag, c.language, &choice).ok());
    EXPECT_EQ(choice.index, c.index);
    EXPECT_EQ(choice.count, whole.records.size());
  }

  // A reader held to a budget refuses a table longer than it may read, whatever the
  // language, and never shows a record chosen from part of it.
  std::unique_ptr<icc::Profile> profile;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(BuildProfile({{"desc", table}})),
                                 &profile).ok());
  const uint64_t rows = 16 + 12 * uint64_t(many.size());
  for (const icc::Language& language : {icc::Language{{'e', 'n'}, {'A', 'A'}}, icc::Language{}}) {
    std::u16string text;
    bool cut;
    icc::LocalizedChoice choice;
    EXPECT_TRUE(icc::ReadStoredText(*profile, icc::kDescriptionTag, language, kPortable, &text,
                                    &cut, rows).ok());
    EXPECT_EQ(icc::ReadStoredText(*profile, icc::kDescriptionTag, language, kPortable, &text,
                                  &cut, rows - 1).status, icc::Status::OutOfMemory);
    EXPECT_EQ(icc::ReadLocalizedChoice(*profile, icc::kDescriptionTag, language, &choice,
                                       rows - 1).status, icc::Status::OutOfMemory);
  }

  // A description record's two records, both longer than the limit, agree as far as read.
  std::string ascii;
  std::u16string unicode;
  for (int i = 0; i < 40; ++i) {
    ascii += "caf? ";
    unicode += u"caf\u4e2d ";
  }
  const std::vector<uint8_t> record = Record(ascii, unicode.c_str());
  ASSERT_EQ(icc::DescriptionText(Parse(record), kPortable), unicode);
  Parts long_parts(record);
  std::u16string text;
  bool cut = false;
  ASSERT_TRUE(icc::ReadShownDescription(long_parts, {}, kPortable, 64, &text, &cut));
  EXPECT_EQ(text, unicode.substr(0, 64));
  EXPECT_TRUE(cut);

  // A tag of a type that holds no text is no description to any reader.
  const std::vector<uint8_t> curve = Bytes(std::string("curv\0\0\0\0\0\0\0\0", 12));
  EXPECT_EQ(Parse(curve).damage, icc::kNoTextDamage);
  Parts parts(curve);
  EXPECT_FALSE(icc::ReadShownDescription(parts, {}, kPortable, 64, &text, &cut));
}

// One rule for what every surface shows of a stored text.
TEST(Description, ShownTextHasNoRawControls) {
  struct Case {
    std::u16string stored;
    bool cut;
    const char16_t* one_line;
    const char16_t* lines;
  } cases[] = {
      {u"sRGB built-in\0"s, false, u"sRGB built-in", u"sRGB built-in"},
      {u"Front\0Back"s, false, u"Front", u"Front"},
      {u"(c) \u000e2024\u007f\u009b", false, u"(c) \ufffd2024\ufffd\ufffd",
       u"(c) \ufffd2024\ufffd\ufffd"},
      {u"a\r\nb\rc\nd\u2028e\u0085f\u000bg", false, u"a b c d e f g", u"a\nb\nc\nd\ne\nf\ng"},
      {u"tab\there", false, u"tab here", u"tab here"},
      {u"\U0001F600 \xd800x\xdc00", false, u"\U0001F600 \ufffdx\ufffd",
       u"\U0001F600 \ufffdx\ufffd"},
      {u"cut \U0001F600"s.substr(0, 5), true, u"cut ", u"cut "},
      {u"cut \U0001F600"s.substr(0, 5), false, u"cut \ufffd", u"cut \ufffd"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(icc::ShownText(c.stored, icc::TextLines::One, c.cut), c.one_line);
    EXPECT_EQ(icc::ShownText(c.stored, icc::TextLines::Several, c.cut), c.lines);
    EXPECT_EQ(icc::ShownText(c.one_line, icc::TextLines::One), c.one_line);  // shown stays shown
  }
  EXPECT_EQ(icc::TextBeforeZero(u"sRGB\0\0"s), u"sRGB");
}

}  // namespace

