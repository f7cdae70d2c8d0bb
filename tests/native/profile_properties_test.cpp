// What a file browser shows of a profile: texts of every stored type read within bounds,
// header fields, and the profile ID's state.
#include <gtest/gtest.h>

#include <algorithm>

#include "localized_text.h"
#include "profile_builder.h"
#include "profile_properties.h"

using namespace testing_icc;

namespace {

std::unique_ptr<icc::Profile> Open(std::vector<uint8_t> bytes, uint64_t* read = nullptr) {
  std::unique_ptr<icc::Profile> p;
  EXPECT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(std::move(bytes), read), &p).ok());
  return p;
}

std::vector<uint8_t> TextTag(const std::string& text) {
  std::vector<uint8_t> tag = Bytes("text");
  tag.resize(8);
  tag.insert(tag.end(), text.begin(), text.end());
  return tag;
}

template <std::size_t N>
icc::Status Read(icc::Profile& p, const char (&sig)[N], std::u16string* text,
                 bool* cut = nullptr) {
  bool ignored = false;
  return icc::ReadStoredText(p, icc::Signature(sig), {{'d', 'e'}, {'D', 'E'}},
                             icc::PortableCodePage(), text, cut ? cut : &ignored)
      .status;
}

TEST(ProfileProperties, TextsOfEveryTypeAndTheirDamage) {
  const std::vector<uint8_t> localized = icc::BuildLocalizedText(
      {{"en", "US", u"Maker"}, {"de", "DE", std::u16string(u"Hersteller\0xx", 13)}});
  auto p = Open(BuildProfile({{"cprt", TextTag(std::string("No rights\0junk", 14))},
                              {"dmnd", localized},
                              {"dmdd", DescTag("Model 9", true)}}));
  std::u16string text;
  bool cut = true;
  ASSERT_EQ(Read(*p, "cprt", &text, &cut), icc::Status::Ok);
  EXPECT_EQ(text, u"No rights");
  EXPECT_FALSE(cut);
  ASSERT_EQ(Read(*p, "dmnd", &text), icc::Status::Ok);
  EXPECT_EQ(text, u"Hersteller");
  ASSERT_EQ(Read(*p, "dmdd", &text), icc::Status::Ok);
  EXPECT_EQ(text, u"Model 9");

  // A count past the tag, a text without its zero, a type that holds no text, a tag too
  // short for its own header, and no tag at all.
  std::vector<uint8_t> long_count = DescTag("Short", false);
  icc::StoreBE32(long_count.data() + 8, 0xFFFFFFF0u);
  std::vector<uint8_t> short_mluc = localized;
  short_mluc.resize(12);
  auto q = Open(BuildProfile({{"cprt", TextTag("unterminated")}, {"dmnd", long_count},
                              {"dmdd", Bytes("curv\0\0\0\0")}}));
  ASSERT_EQ(Read(*q, "cprt", &text), icc::Status::Ok);
  EXPECT_EQ(text, u"unterminated");
  ASSERT_EQ(Read(*q, "dmnd", &text), icc::Status::Ok);
  EXPECT_EQ(text, u"Short");
  EXPECT_EQ(Read(*q, "dmdd", &text), icc::Status::InvalidProfile);
  auto r = Open(BuildProfile({{"dmnd", short_mluc}, {"dmdd", Bytes("text")}}));
  EXPECT_EQ(Read(*r, "dmnd", &text), icc::Status::InvalidProfile);
  EXPECT_EQ(Read(*r, "dmdd", &text), icc::Status::InvalidProfile);
  EXPECT_EQ(Read(*r, "cprt", &text), icc::Status::TagNotFound);
}

TEST(ProfileProperties, HugeTextsAreReadOnlyAsFarAsShown) {
  const std::string big(8u << 20, 'x');
  const std::vector<uint8_t> localized = icc::BuildLocalizedText(
      {{"en", "US", std::u16string(4u << 20, u'y')}});
  for (const auto& tag : {TextTag(big), DescTag(big, false), localized}) {
    uint64_t read = 0;
    auto p = Open(BuildProfile({{"cprt", tag}}), &read);
    std::u16string text;
    bool cut = false;
    ASSERT_EQ(Read(*p, "cprt", &text, &cut), icc::Status::Ok);
    EXPECT_EQ(text.size(), icc::kMaxShownTextBytes / (tag[0] == 'm' ? 2 : 1));  // bytes read
    EXPECT_TRUE(cut);
    EXPECT_LT(read, 2 * icc::kMaxShownTextBytes);
  }
}

TEST(ProfileProperties, HeaderDateAndVersion) {
  std::vector<uint8_t> file = BuildProfile({});
  const uint16_t when[6] = {2024, 2, 29, 23, 59, 58};
  for (int i = 0; i < 6; ++i) {
    file[24 + 2 * i] = uint8_t(when[i] >> 8);
    file[25 + 2 * i] = uint8_t(when[i]);
  }
  icc::DateTime date{};
  ASSERT_TRUE(icc::CreationDate(icc::Header(file.data()), &date));
  EXPECT_EQ(date.year, 2024);
  EXPECT_EQ(date.day, 29);
  EXPECT_EQ(date.second, 58);
  file[25] = 3;  // 2023-02-29
  EXPECT_FALSE(icc::CreationDate(icc::Header(file.data()), &date));
  EXPECT_EQ(icc::Header(file.data()).date().month, 2);  // the fields as stored all the same
  EXPECT_FALSE(icc::CreationDate(icc::Header(BuildProfile({}).data()), &date));  // all zero

  EXPECT_EQ(icc::VersionText(icc::Header(file.data())), "2.1");
  file[8] = 4;
  file[9] = 0x21;
  EXPECT_EQ(icc::VersionText(icc::Header(file.data())), "4.2.1");
}

// Each field from its own bytes: a distinct number in every 32-bit word.
TEST(ProfileProperties, HeaderFieldsFromTheirBytes) {
  uint8_t stored[icc::kHeaderSize];
  for (std::size_t i = 0; i < icc::kHeaderSize / 4; ++i)
    icc::StoreBE32(stored + 4 * i, uint32_t(0x01010101u * (i + 1)));
  stored[8] = 4;
  stored[9] = 0x37;
  icc::StoreBE32(stored + 68, 0x00010000u);  // an illuminant X of 1.0
  const icc::Header h(stored);
  EXPECT_EQ(h.size(), 0x01010101u);
  EXPECT_EQ(h.cmm(), 0x02020202u);
  EXPECT_EQ(h.version_major() * 100 + h.version_minor() * 10 + h.version_fix(), 437u);
  EXPECT_EQ(h.device_class(), 0x04040404u);
  EXPECT_EQ(h.colour_space(), 0x05050505u);
  EXPECT_EQ(h.connection_space(), 0x06060606u);
  EXPECT_EQ(h.date().year, 0x0707);
  EXPECT_EQ(h.date().second, 0x0909);
  EXPECT_EQ(h.magic(), 0x0A0A0A0Au);
  EXPECT_EQ(h.platform(), 0x0B0B0B0Bu);
  EXPECT_EQ(h.flags(), 0x0C0C0C0Cu);
  EXPECT_EQ(h.manufacturer(), 0x0D0D0D0Du);
  EXPECT_EQ(h.model(), 0x0E0E0E0Eu);
  EXPECT_EQ(h.attributes(), 0x0F0F0F0F10101010u);
  EXPECT_EQ(h.intent(), 0x11111111u);
  EXPECT_EQ(h.illuminant().X, 1.0);
  EXPECT_EQ(h.illuminant().Z, double(int32_t(0x14141414)) / 65536);
  EXPECT_EQ(h.creator(), 0x15151515u);
  EXPECT_EQ(h.id()[0], 0x16);
  EXPECT_EQ(h.id()[15], 0x19);
  EXPECT_TRUE(std::equal(stored, stored + icc::kHeaderSize, h.bytes()));
  EXPECT_TRUE(icc::HasProfileId(h));
}

TEST(ProfileProperties, ProfileIdAbsentValidWrongOrNotChecked) {
  std::vector<uint8_t> v4 = BuildProfile({{"desc", DescTag("x", false)}});
  v4[8] = 4;
  v4[67] = 2;  // the intent does not count
  for (int i = 84; i < 100; ++i) v4[i] = 1;
  MemorySink written;  // the container gives the written profile its right ID
  ASSERT_TRUE(Open(v4)->WriteTo(written).ok());

  std::vector<uint8_t> wrong = written.bytes, trailing = written.bytes, v2 = written.bytes;
  wrong[200] ^= 1;
  trailing.resize(trailing.size() + 8, 0xEE);  // bytes past the size field are not covered
  v2[8] = 2;
  std::vector<uint8_t> zero = v4;
  std::fill_n(zero.begin() + 84, 16, 0);

  // A bound counts the bytes the ID covers: past it nothing is read and the ID is not checked.
  const uint64_t covered = written.bytes.size();
  const struct {
    std::vector<uint8_t> bytes;
    uint64_t max_bytes;
    icc::ProfileIdState state;
  } cases[] = {
      {written.bytes, UINT64_MAX, icc::ProfileIdState::Valid},
      {trailing, covered, icc::ProfileIdState::Valid},
      {wrong, UINT64_MAX, icc::ProfileIdState::Wrong},
      {wrong, covered - 1, icc::ProfileIdState::NotChecked},
      {v2, 0, icc::ProfileIdState::Absent},
      {zero, 0, icc::ProfileIdState::Absent}};
  for (const auto& c : cases) {
    icc::ProfileIdState state{};
    ASSERT_TRUE(icc::CheckProfileId(*Open(c.bytes), &state, c.max_bytes).ok());
    EXPECT_EQ(state, c.state) << &c - cases;
  }
  EXPECT_STREQ(icc::ProfileIdStateText(icc::ProfileIdState::NotChecked), "Not checked");
}

}  // namespace
