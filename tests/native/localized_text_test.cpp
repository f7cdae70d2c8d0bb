// Localized description records: choosing, rebuilding, and damaged tables that must stay
// inside the tag; and the digest that version 4 profiles carry as their ID.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "description.h"
#include "icc_profile.h"
#include "localized_text.h"
#include "md5.h"
#include "profile_builder.h"
#include "profile_check.h"

namespace {

using Record = icc::LocalizedRecord;

std::vector<icc::LocalizedRecord> Parse(const std::vector<uint8_t>& tag) {
  std::vector<icc::LocalizedRecord> records;
  EXPECT_TRUE(icc::ParseLocalizedText(tag.data(), tag.size(), &records));
  return records;
}

TEST(LocalizedText, RoundTripAndChoice) {
  const std::vector<icc::LocalizedRecord> records = {
      Record("de", "DE", u"Bildschirm"), Record("en", "US", u"Monitor"),
      Record("fr", "FR", u"\u00c9cran"), Record("de", "AT", u"Monitor (AT)")};
  const std::vector<uint8_t> tag = icc::BuildLocalizedText(records);
  EXPECT_TRUE(icc::IsLocalizedText(tag.data(), tag.size()));
  EXPECT_EQ(icc::LoadBE32(tag.data() + 8), 4u);
  EXPECT_EQ(icc::LoadBE32(tag.data() + 12), 12u);
  // Strings are UTF-16BE without terminator, right after the table.
  EXPECT_EQ(icc::LoadBE32(tag.data() + 16 + 4), 20u);
  EXPECT_EQ(icc::LoadBE32(tag.data() + 16 + 8), 16u + 48u);
  EXPECT_EQ(tag[64], 0);
  EXPECT_EQ(tag[65], 'B');

  const auto back = Parse(tag);
  ASSERT_EQ(back.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(back[i].text, records[i].text);

  EXPECT_EQ(icc::ChooseLocalizedRecord(back, "fr", "FR"), 2);
  EXPECT_EQ(icc::ChooseLocalizedRecord(back, "de", "AT"), 3);
  EXPECT_EQ(icc::ChooseLocalizedRecord(back, "de", "CH"), 0);  // same language
  EXPECT_EQ(icc::ChooseLocalizedRecord(back, "ja", "JP"), 1);  // en-US
  EXPECT_EQ(icc::ChooseLocalizedRecord(std::vector<icc::LocalizedRecord>{
                                           Record("ja", "JP", u"x"), Record("it", "IT", u"y")},
                                       "fr", "FR"),
            0);  // the first
  EXPECT_EQ(icc::ChooseLocalizedRecord(std::vector<icc::LocalizedRecord>{}, "en", "US"), -1);

  // No records at all is a valid, empty tag.
  EXPECT_TRUE(Parse(icc::BuildLocalizedText({})).empty());
}

TEST(LocalizedText, DamagedTablesStayInsideTheTag) {
  std::vector<uint8_t> tag = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});

  // A record count far beyond the table's room reads only the records that fit.
  std::vector<uint8_t> many = tag;
  icc::StoreBE32(many.data() + 8, 0xFFFFFFFF);
  auto records = Parse(many);
  EXPECT_LE(records.size(), (many.size() - 16) / 12);
  EXPECT_EQ(records[0].text, u"Monitor");

  // A string that starts or runs outside the tag is cut at its end.
  std::vector<uint8_t> outside = tag;
  icc::StoreBE32(outside.data() + 16 + 8, 0xFFFFFFF0);
  EXPECT_EQ(Parse(outside)[0].text, u"");
  std::vector<uint8_t> longer = tag;
  icc::StoreBE32(longer.data() + 16 + 4, 0x7FFFFFFF);
  EXPECT_EQ(Parse(longer)[0].text, u"Monitor");

  // An odd byte count drops the half unit.
  std::vector<uint8_t> odd = tag;
  icc::StoreBE32(odd.data() + 16 + 4, 5);
  EXPECT_EQ(Parse(odd)[0].text, u"Mo");

  // A record size below 12 is read as 12; a larger one is honoured.
  std::vector<uint8_t> stride = tag;
  icc::StoreBE32(stride.data() + 12, 0);
  EXPECT_EQ(Parse(stride)[0].text, u"Monitor");

  // Too short for the header, or another type: refused.
  std::vector<icc::LocalizedRecord> out;
  EXPECT_FALSE(icc::ParseLocalizedText(tag.data(), 15, &out));
  std::vector<uint8_t> desc = tag;
  desc[0] = 'd';
  EXPECT_FALSE(icc::ParseLocalizedText(desc.data(), desc.size(), &out));

  // The table size asked for before reading is bounded by the tag's size.
  // 42 bytes hold the header and two 12-byte rows.
  EXPECT_EQ(icc::LocalizedTableBytes(many.data(), uint32_t(many.size())), 16u + 12u * 2u);
  EXPECT_EQ(icc::LocalizedTableBytes(many.data(), 16), 16u);

  // With rows wider than 12 bytes the last row still needs only 12.
  std::vector<uint8_t> wide = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(wide.data() + 12, 0x5300);
  EXPECT_EQ(icc::LocalizedTableBytes(wide.data(), uint32_t(wide.size())), 16u + 12u);
}

// What the table's reader refuses is the checker's finding, and the damage the description
// reports.
TEST(LocalizedText, RefusalsAreTheCheckersFindings) {
  const std::vector<uint8_t> sound = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  auto with = [&sound](std::size_t at, uint32_t value) {
    std::vector<uint8_t> tag = sound;
    icc::StoreBE32(tag.data() + at, value);
    return tag;
  };
  const struct {
    std::vector<uint8_t> tag;
    const char* finding;  // after "The desc tag is damaged: "
    const char* damage;
  } cases[] = {
      {std::vector<uint8_t>(sound.begin(), sound.begin() + 14),
       "it has 14 bytes, too few for the record table's header (16 bytes).",
       "the localized records are damaged"},
      {with(12, 8), "its records are 8 bytes long instead of 12.",
       "the table of localized records runs past the end of the tag"},
      {with(8, 3), "it has 42 bytes, too few for the record table (52 bytes).",
       "the table of localized records runs past the end of the tag"},
      {with(20, 5), "record 1 (en-US) has its text of an odd length.",
       "a localized record lies outside the tag"},
      {with(24, 40), "record 1 (en-US) has its text outside the tag.",
       "a localized record lies outside the tag"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.finding);
    const std::vector<uint8_t> file = testing_icc::BuildProfile({{"desc", c.tag}});
    icc::MemoryFile bytes(file);
    icc::CheckReport report;
    ASSERT_TRUE(icc::CheckStructure(bytes, &report).ok());
    std::string found;
    for (const icc::Finding& f : report.findings)
      if (std::string(f.code) == "tag-structure") found = f.message;
    EXPECT_EQ(found, std::string("The desc tag is damaged: ") + c.finding);
    icc::Description d;
    ASSERT_TRUE(icc::ParseDescription(c.tag.data(), c.tag.size(), {}, &d));
    EXPECT_STREQ(d.damage, c.damage);
  }
}

TEST(LocalizedText, SharedStringsStayBounded) {
  // Three records sharing one string are read, each with the text.
  std::vector<uint8_t> shared = icc::BuildLocalizedText(
      {Record("en", "US", u"Monitor"), Record("en", "GB", u""), Record("de", "DE", u"")});
  for (int i = 1; i < 3; ++i)
    std::copy_n(shared.begin() + 16 + 4, 8, shared.begin() + 16 + 12 * i + 4);
  auto records = Parse(shared);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].text, u"Monitor");

  // A 64 KB tag whose thousands of rows all name the whole tag would decode to hundreds of
  // megabytes: it is refused as damaged.
  std::vector<uint8_t> tag = icc::BuildLocalizedText({Record("en", "US", std::u16string(32760, u'x'))});
  const uint32_t rows = uint32_t((tag.size() - 16) / 12);
  icc::StoreBE32(tag.data() + 8, rows);
  for (uint32_t i = 0; i < rows; ++i) {
    icc::StoreBE32(tag.data() + 16 + 12 * i + 4, uint32_t(tag.size()));
    icc::StoreBE32(tag.data() + 16 + 12 * i + 8, 0);
  }
  std::vector<icc::LocalizedRecord> out;
  EXPECT_FALSE(icc::ParseLocalizedText(tag.data(), tag.size(), &out));
  EXPECT_TRUE(out.empty());
}

std::string Hex(const uint8_t* d, std::size_t n) {
  std::string s;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", d[i]);
    s += b;
  }
  return s;
}

TEST(Md5, KnownDigestsWhateverTheChunking) {
  struct Case { std::string input; const char* digest; };
  std::string blocks;
  for (int r = 0; r < 5; ++r)
    for (int i = 0; i < 256; ++i) blocks += char(i);
  const Case cases[] = {{"", "d41d8cd98f00b204e9800998ecf8427e"},
                        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
                        {"The quick brown fox jumps over the lazy dog",
                         "9e107d9d372bb6826bd81d3542a419d6"},
                        {blocks, "82829f1f3f2bb0f18b25f278e5bba8bd"}};
  for (const Case& c : cases) {
    for (std::size_t chunk : {std::size_t(1), std::size_t(63), std::size_t(64), std::size_t(1000)}) {
      icc::Md5 md5;
      for (std::size_t at = 0; at < c.input.size(); at += chunk)
        md5.Update(c.input.data() + at, std::min(chunk, c.input.size() - at));
      uint8_t digest[16];
      md5.Final(digest);
      EXPECT_EQ(Hex(digest, 16), c.digest) << c.input.size() << " in chunks of " << chunk;
    }
  }
}

}  // namespace
