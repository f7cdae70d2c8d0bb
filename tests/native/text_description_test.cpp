// Reading a stored description record, sound or damaged, never beyond the tag.
#include <gtest/gtest.h>

#include <algorithm>

#include "icc_profile.h"
#include "profile_builder.h"
#include "profile_check.h"
#include "text_description.h"

namespace {

std::vector<uint8_t> Tag(uint32_t count, const std::string& body, std::size_t size) {
  std::vector<uint8_t> tag(size);
  std::copy_n("desc", std::min<std::size_t>(size, 4), tag.begin());
  if (size >= 12) icc::StoreBE32(tag.data() + 8, count);
  if (size > 12) std::copy_n(body.begin(), std::min(body.size(), size - 12), tag.begin() + 12);
  return tag;
}

icc::TextDescription Parse(const std::vector<uint8_t>& tag) {
  icc::TextDescription d;
  EXPECT_TRUE(icc::ParseTextDescription(tag.data(), tag.size(), &d));
  return d;
}

TEST(TextDescription, SoundRecords) {
  // ASCII "Office" with its zero, language code, then a Unicode count of 7.
  auto tag = Tag(7, std::string("Office\0", 7), 12 + 7 + 8 + 16 + 70);
  icc::StoreBE32(tag.data() + 12 + 7 + 4, 7);
  auto d = Parse(tag);
  EXPECT_EQ(d.ascii, "Office");
  EXPECT_TRUE(d.has_unicode);

  icc::StoreBE32(tag.data() + 12 + 7 + 4, 0);
  EXPECT_FALSE(Parse(tag).has_unicode);

  // Bytes above 127 pass unchanged; the text stops at its first zero byte.
  auto accented = Tag(9, std::string("Caf\xe9\0tail", 9), 120);
  EXPECT_EQ(Parse(accented).ascii, "Caf\xe9");

  // A count of zero is an empty description.
  EXPECT_EQ(Parse(Tag(0, "", 100)).ascii, "");
}

TEST(TextDescription, DamagedRecordsStayInsideTheTag) {
  icc::TextDescription d;
  for (std::size_t size : {0, 4, 11})
    EXPECT_FALSE(icc::ParseTextDescription(Tag(1, "", size).data(), size, &d)) << size;

  // The count runs past the tag: the text ends with the tag, without a zero byte.
  auto past = Tag(1000, "abcdef", 18);
  d = Parse(past);
  EXPECT_EQ(d.ascii, "abcdef");
  EXPECT_FALSE(d.has_unicode);

  // No zero byte within the count: the count bounds the text.
  d = Parse(Tag(3, "abcdef", 60));
  EXPECT_EQ(d.ascii, "abc");

  // Room for the text but not for the Unicode count after it.
  auto short_tail = Tag(4, std::string("abc\0\0\0\0\0\0\0\x01", 11), 12 + 4 + 7);
  EXPECT_FALSE(Parse(short_tail).has_unicode);
  auto exact_tail = Tag(4, std::string("abc\0\0\0\0\0\0\0\0\x01", 12), 12 + 4 + 8);
  EXPECT_TRUE(Parse(exact_tail).has_unicode);

  // Counts that overflow 32-bit arithmetic.
  d = Parse(Tag(0xFFFFFFFF, "xyz", 40));
  EXPECT_EQ(d.ascii.substr(0, 3), "xyz");
  EXPECT_FALSE(d.has_unicode);
  d = Parse(Tag(0xFFFFFFF0, "xyz", 40));
  EXPECT_FALSE(d.has_unicode);
}

// The parts a record is short of, with the bytes it would need, are the checker's findings in
// the same words; the whole parse reads what lies inside the tag.
TEST(TextDescription, RefusalsAreTheCheckersFindings) {
  using Layout = icc::TextDescriptionLayout;
  const std::vector<uint8_t> sound = testing_icc::DescTag("Name", true);  // c 5, u 5, 105 bytes
  auto with = [&sound](std::size_t at, uint32_t value) {
    std::vector<uint8_t> tag = sound;
    icc::StoreBE32(tag.data() + at, value);
    return tag;
  };
  const struct {
    std::vector<uint8_t> tag;
    Layout::Part part;
    uint64_t needed;
    const char* finding;  // after "The desc tag is damaged: "; null: none
    bool ascii_cut, unicode_cut;
  } cases[] = {
      {Tag(0, "", 10), Layout::kAsciiCount, 12,
       "it has 10 bytes, too few for the ASCII count (12 bytes).", false, false},
      {with(8, 200), Layout::kAsciiText, 220,
       "it has 105 bytes, too few for the ASCII text (220 bytes).", true, false},
      {with(8, 90), Layout::kAsciiText, 110,
       "it has 105 bytes, too few for the ASCII text (110 bytes).", false, false},
      {with(21, 0xFFFFFFFF), Layout::kUnicodeText, 25 + 2 * uint64_t(0xFFFFFFFF),
       "it has 105 bytes, too few for the Unicode text (8589934615 bytes).", false, true},
      {sound, Layout::kWhole, 0, nullptr, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.needed);
    const Layout layout = icc::TextDescriptionLayoutOf(c.tag.data(), c.tag.size());
    EXPECT_EQ(layout.short_of, c.part);
    EXPECT_EQ(layout.needed, c.needed);
    if (c.part == Layout::kWhole) EXPECT_EQ(layout.script_at() + 3 + 67, c.tag.size());

    const std::vector<uint8_t> file = testing_icc::BuildProfile({{"desc", c.tag}});
    icc::MemoryFile bytes(file);
    icc::CheckReport report;
    ASSERT_TRUE(icc::CheckStructure(bytes, &report).ok());
    std::string found;
    for (const icc::Finding& f : report.findings)
      if (std::string(f.code) == "tag-structure") found = f.message;
    EXPECT_EQ(found, c.finding ? std::string("The desc tag is damaged: ") + c.finding : "");

    if (c.part == Layout::kAsciiCount) continue;  // refused whole
    const icc::TextDescription d = Parse(c.tag);
    EXPECT_EQ(d.ascii_cut, c.ascii_cut);
    EXPECT_EQ(d.unicode_cut, c.unicode_cut);
  }
}

}  // namespace
