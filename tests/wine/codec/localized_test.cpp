// Localized descriptions ('mluc') through the codec: which record is shown, what a save
// writes into it and into the other records, the localized name ('dscm') of version 2
// profiles, damaged tables, and the profile ID of version 4 profiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DescriptionTag.h"
#include "icc_profile.h"
#include "localized_text.h"
#include "md5.h"
#include "profile_builder.h"
#include "scratch.h"

using namespace testing_icc;

namespace {

using Record = icc::LocalizedRecord;

// The bytes of one tag of a profile file, by its table row.
std::vector<uint8_t> TagOf(const std::vector<uint8_t>& file, const char* signature) {
  const uint32_t count = icc::LoadBE32(file.data() + 128);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* row = file.data() + 132 + 12 * i;
    if (std::equal(row, row + 4, signature)) {
      const uint32_t offset = icc::LoadBE32(row + 4), size = icc::LoadBE32(row + 8);
      return std::vector<uint8_t>(file.begin() + offset, file.begin() + offset + size);
    }
  }
  return {};
}

std::vector<icc::LocalizedRecord> RecordsOf(const std::vector<uint8_t>& tag) {
  std::vector<icc::LocalizedRecord> records;
  EXPECT_TRUE(icc::ParseLocalizedText(tag.data(), tag.size(), &records));
  return records;
}

std::vector<uint8_t> Version4(std::vector<uint8_t> profile) {
  profile[8] = 4;
  return profile;
}

class Localized : public ::testing::Test {
 protected:
  ScratchFolder folder;
  CDescriptionTag codec;

  std::string Save(const std::string& path, const char* text) {
    EXPECT_TRUE(codec.Build(text));
    EXPECT_TRUE(codec.Write(path.c_str())) << GetLastError();
    std::string back;
    CDescriptionTag reader;
    EXPECT_TRUE(reader.Read(path.c_str(), back));
    return back;
  }
};

TEST_F(Localized, ShowsTheUserLanguageAndRewritesOnlyThatRecord) {
  // Wine's UI language here is US English.
  const auto records = std::vector<icc::LocalizedRecord>{
      Record("de", "DE", u"Bildschirm"), Record("en", "US", u"Office monitor"),
      Record("fr", "FR", u"\u00c9cran")};
  const std::string path = folder.Put(
      "v4.icc", Version4(BuildProfile({{"rXYZ", Pattern(20, 1)},
                                       {"desc", icc::BuildLocalizedText(records)},
                                       {"gTRC", Pattern(37, 3)}})));
  const auto before = FileBytes(path);

  std::string text;
  ASSERT_TRUE(codec.Read(path.c_str(), text));
  EXPECT_EQ(text, "Office monitor");
  EXPECT_EQ(Save(path, "Caf\xe9 monitor"), "Caf\xe9 monitor");

  const auto after = FileBytes(path);
  const auto stored = RecordsOf(TagOf(after, "desc"));
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[0].text, u"Bildschirm");
  EXPECT_EQ(stored[1].text, u"Caf\u00e9 monitor");
  EXPECT_EQ(stored[2].text, u"\u00c9cran");
  EXPECT_EQ(TagOf(after, "gTRC"), TagOf(before, "gTRC"));
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());

  // A second save starts from what the first one stored.
  EXPECT_EQ(Save(path, "Again"), "Again");
  EXPECT_EQ(RecordsOf(TagOf(FileBytes(path), "desc"))[0].text, u"Bildschirm");
}

TEST_F(Localized, FallsBackToTheFirstRecordAndAddsOneWhenThereIsNone) {
  const std::string first = folder.Put(
      "first.icc", Version4(BuildProfile({{"desc", icc::BuildLocalizedText(
                                                       {Record("ja", "JP", u"Monitor JP"),
                                                        Record("it", "IT", u"Schermo")})}})));
  std::string text;
  ASSERT_TRUE(codec.Read(first.c_str(), text));
  EXPECT_EQ(text, "Monitor JP");

  const std::string none =
      folder.Put("none.icc", Version4(BuildProfile({{"desc", icc::BuildLocalizedText({})}})));
  CDescriptionTag empty;
  ASSERT_TRUE(empty.Read(none.c_str(), text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(empty.Build("Named at last"));
  ASSERT_TRUE(empty.Write(none.c_str()));
  const auto stored = RecordsOf(TagOf(FileBytes(none), "desc"));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(std::string(stored[0].language, 2) + std::string(stored[0].country, 2), "enUS");
  EXPECT_EQ(stored[0].text, u"Named at last");
}

TEST_F(Localized, FailedReadKeepsTheKindOfDescriptionReadBefore) {
  const std::string v4 = folder.Put(
      "v4.icc", Version4(BuildProfile({{"desc", icc::BuildLocalizedText(
                                                    {Record("en", "US", u"Localized")})}})));
  const std::string damaged =
      folder.Put("damaged.icc", BuildProfile({{"desc", {'d', 'e', 's', 'c', 0, 0}}}));
  std::string text;
  ASSERT_TRUE(codec.Read(v4.c_str(), text));
  EXPECT_FALSE(codec.Read(damaged.c_str(), text));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PROFILE));
  // A save of the profile still open writes localized records, not a version 2 record.
  EXPECT_EQ(Save(v4, "Still localized"), "Still localized");
  EXPECT_TRUE(icc::IsLocalizedText(TagOf(FileBytes(v4), "desc").data(), 4));
}

TEST_F(Localized, DamagedRecordsNeverReadOutsideTheTag) {
  auto tag = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(tag.data() + 16 + 8, 0x7FFFFFF0);  // string far outside
  icc::StoreBE32(tag.data() + 8, 1000);              // more records than there is room for
  const std::string path = folder.Put("bad.icc", Version4(BuildProfile({{"desc", tag}})));
  std::string text = "unchanged";
  ASSERT_TRUE(codec.Read(path.c_str(), text));
  EXPECT_EQ(text, "");

  auto odd = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(odd.data() + 16 + 4, 7);  // half a unit at the end
  const std::string odd_path = folder.Put("odd.icc", Version4(BuildProfile({{"desc", odd}})));
  ASSERT_TRUE(codec.Read(odd_path.c_str(), text));
  EXPECT_EQ(text, "Mon");
}

TEST_F(Localized, Version2NameTagFollowsTheDescription) {
  const auto dscm = icc::BuildLocalizedText(
      {Record("de", "DE", u"Alter Name"), Record("en", "US", u"Old name")});
  const std::string path = folder.Put(
      "v2.icc", BuildProfile({{"desc", DescTag("Old name", true)}, {"dscm", dscm},
                              {"wtpt", Pattern(20, 5)}}));
  const auto before = FileBytes(path);
  std::string text;
  ASSERT_TRUE(codec.Read(path.c_str(), text));
  EXPECT_EQ(Save(path, "New name"), "New name");

  const auto after = FileBytes(path);
  // The description itself is still a version 2 record.
  EXPECT_EQ(std::string(after.begin() + icc::LoadBE32(after.data() + 136),
                        after.begin() + icc::LoadBE32(after.data() + 136) + 4),
            "desc");
  const auto names = RecordsOf(TagOf(after, "dscm"));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].text, u"Alter Name");
  EXPECT_EQ(names[1].text, u"New name");
  EXPECT_EQ(TagOf(after, "wtpt"), TagOf(before, "wtpt"));
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
}

TEST_F(Localized, ProfileIdOfVersion4ProfilesIsRecomputed) {
  auto profile = Version4(BuildProfile(
      {{"desc", icc::BuildLocalizedText({Record("en", "US", u"With an ID")})}}));
  std::fill(profile.begin() + 84, profile.begin() + 100, 0x11);
  const std::string path = folder.Put("id.icc", profile);
  std::string text;
  ASSERT_TRUE(codec.Read(path.c_str(), text));
  Save(path, "Changed");

  auto after = FileBytes(path);
  std::vector<uint8_t> zeroed = after;
  std::fill(zeroed.begin() + 44, zeroed.begin() + 48, 0);
  std::fill(zeroed.begin() + 64, zeroed.begin() + 68, 0);
  std::fill(zeroed.begin() + 84, zeroed.begin() + 100, 0);
  icc::Md5 md5;
  md5.Update(zeroed.data(), zeroed.size());
  uint8_t id[16];
  md5.Final(id);
  EXPECT_TRUE(std::equal(id, id + 16, after.begin() + 84));
}

}  // namespace
