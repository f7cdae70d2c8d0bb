// A new description written into the file that holds the profile, cut short after every
// number of bytes: the file reads as the old profile or the new one, through the container
// and through Little CMS, except inside the one small field being written.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "cut_file.h"
#include "description.h"
#include "in_place_edit.h"
#include "md5.h"
#include "profile_builder.h"
#include "profile_properties.h"

using namespace testing_icc;

namespace {

const icc::CodePage& kPortable = icc::PortableCodePage();

std::unique_ptr<icc::Profile> Open(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<icc::Profile> p;
  return icc::Profile::Open(std::make_unique<MemoryFile>(bytes), &p).ok() ? std::move(p) : nullptr;
}

// The description as Little CMS reads it; "" when it reads none.
std::string LcmsDescription(const std::vector<uint8_t>& bytes) {
  cmsHPROFILE h = cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size()));
  if (!h) return "";
  char text[256] = "";
  if (const auto* mlu = static_cast<const cmsMLU*>(cmsReadTag(h, cmsSigProfileDescriptionTag)))
    cmsMLUgetASCII(mlu, "en", "US", text, sizeof text);
  cmsCloseProfile(h);
  return text;
}

struct Expected {
  std::string text;
  std::map<std::string, std::vector<uint8_t>> tags;
};

// Whether `bytes` read whole as the profile `e` describes: they open, the size field covers
// every tag and no more than the file, an ID (when there is one) is the content's, every tag
// has its bytes and Little CMS reads the description.
bool ReadsAs(const std::vector<uint8_t>& bytes, const Expected& e) {
  std::unique_ptr<icc::Profile> p = Open(bytes);
  if (!p) return false;
  const uint32_t field = icc::LoadBE32(bytes.data());
  if (field > bytes.size()) return false;
  for (const icc::TagEntry& row : p->Entries())
    if (uint64_t(row.offset) + row.size > field) return false;
  icc::ProfileIdState id;
  if (!icc::CheckProfileId(*p, &id).ok() || id == icc::ProfileIdState::Wrong) return false;
  return TagsOf(bytes) == e.tags && LcmsDescription(bytes) == e.text;
}

// Whether the text is somewhere in the bytes, in single bytes or in UTF-16BE.
bool Carries(const std::vector<uint8_t>& bytes, const std::string& text) {
  std::vector<uint8_t> wide;
  for (char c : text) wide.insert(wide.end(), {0, uint8_t(c)});
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end() ||
         std::search(bytes.begin(), bytes.end(), wide.begin(), wide.end()) != bytes.end();
}

std::vector<uint8_t> WithId(std::vector<uint8_t> file) {
  file[8] = 4;
  file[44] = 0x80;  // flags count towards nothing
  std::vector<uint8_t> zeroed = file;
  icc::ZeroProfileIdFields(zeroed.data());
  icc::Md5 md5;
  md5.Update(zeroed.data(), zeroed.size());
  md5.Final(file.data() + icc::kProfileIdOffset);
  return file;
}

std::vector<uint8_t> Localized(const std::u16string& text) {
  return icc::BuildLocalizedText({{"en", "US", text}, {"de", "DE", u"Eine deutsche Fassung"}});
}

TEST(InPlaceEdit, EveryCutLeavesTheOldProfileOrTheNewOne) {
  const std::string before = "A title of some length";
  const std::u16string before16(before.begin(), before.end());
  // Version 2 with the localized name kept in step (two rows change) and bytes after the
  // size field's end; version 4 with an ID; version 4 with an ID whose localized name is
  // the description's own bytes (only 'desc' changes; 'dscm' keeps them).
  const std::vector<uint8_t> v2 = [&] {
    std::vector<uint8_t> file = BuildProfile({{"cprt", Bytes(std::string("text\0\0\0\0(c) us", 14))},
                                              {"desc", DescTag(before, true)},
                                              {"dscm", Localized(before16)},
                                              {"wtpt", Pattern(20, 1)}});
    file.insert(file.end(), {1, 2, 3, 4, 5, 6, 7});
    return file;
  }();
  const std::vector<uint8_t> v4 = WithId(BuildProfile(
      {{"cprt", Localized(u"(c) us")}, {"desc", Localized(before16)}, {"rTRC", Pattern(64, 2)}}));
  const uint32_t desc_at = icc::kTagTableStart + 3 * icc::kTagEntrySize;
  const uint32_t desc_size = uint32_t(Localized(before16).size());
  const std::vector<uint8_t> shared = WithId(BuildProfile(
      {{"desc", Localized(before16)}, {"dscm", {}, desc_at, desc_size}, {"wtpt", Pattern(20, 3)}}));

  int budgets = 0, torn = 0;
  for (const auto* old : {&v2, &v4, &shared}) {
    for (const std::string title : {"Short", "A much longer title than the one it had before"}) {
      SCOPED_TRACE(testing::Message() << "version " << int((*old)[8]) << ", " << title);
      std::unique_ptr<icc::Profile> p = Open(*old);
      ASSERT_TRUE(p);
      icc::Description d;
      ASSERT_TRUE(icc::ReadDescription(*p, icc::kEnglishUS, &d).ok());
      ASSERT_TRUE(icc::SetDescriptionText(&d, std::u16string(title.begin(), title.end()), kPortable));
      icc::TagChanges changes(*p);
      ASSERT_TRUE(icc::StoreDescription(changes, d).ok());
      icc::InPlaceEdit edit;
      ASSERT_TRUE(icc::PlanInPlaceEdit(*old, changes.Changes(), &edit).ok());

      // The new tags are those of a save; the old name is gone unless another row keeps it.
      ASSERT_TRUE(icc::StoreDescription(*p, d).ok());
      MemorySink saved;
      ASSERT_TRUE(p->WriteTo(saved).ok());
      const Expected was = {before, TagsOf(*old)}, is = {title, TagsOf(saved.bytes)};
      ASSERT_TRUE(ReadsAs(*old, was));
      ASSERT_TRUE(ReadsAs(edit.result, is));
      EXPECT_EQ(Carries(edit.result, before), old == &shared);
      EXPECT_EQ(icc::LoadBE32(edit.result.data()), edit.result.size());
      if (old != &v2) EXPECT_TRUE(icc::HasProfileId(icc::Header(edit.result.data())));

      // The new bytes go after the end; the rest are fields of the header and the table, and
      // zeros over the old tags.
      const uint64_t table_end = icc::kTagTableStart + 3 * icc::kTagEntrySize;
      ASSERT_GE(edit.writes.size(), 3u);
      EXPECT_EQ(edit.writes[0].offset, old->size());
      uint64_t total = edit.writes[0].bytes.size();
      for (std::size_t k = 1; k < edit.writes.size(); ++k) {
        const icc::InPlaceWrite& w = edit.writes[k];
        total += w.bytes.size();
        const bool field = w.offset + w.bytes.size() <= table_end && w.bytes.size() <= 24;  // 2 rows
        EXPECT_TRUE(field || std::count(w.bytes.begin(), w.bytes.end(), 0) == long(w.bytes.size()))
            << k;
      }

      for (const bool recovers : {false, true}) {
        for (uint64_t n = 0; n <= total; ++n, ++budgets) {
          SCOPED_TRACE(testing::Message() << n << " of " << total << (recovers ? ", recovers" : ""));
          CutFile file(*old, n, recovers);
          bool restored = false;
          const icc::Result r = icc::ApplyInPlaceEdit(edit, file, &restored);
          if (n == total) {
            EXPECT_TRUE(r.ok());
            EXPECT_EQ(file.bytes, edit.result);
            continue;
          }
          EXPECT_FALSE(r.ok());
          if (recovers) {  // the old bytes put back, every one
            EXPECT_TRUE(restored);
            EXPECT_EQ(file.bytes, *old);
            continue;
          }
          if (ReadsAs(file.bytes, was) || ReadsAs(file.bytes, is)) continue;
          // Neither: the cut lies inside a field of the header or the table, and the file is
          // a whole profile with that field as it was or as it was to be.
          uint64_t at = 0;
          std::size_t k = 0;
          while (at + edit.writes[k].bytes.size() <= n) at += edit.writes[k++].bytes.size();
          const icc::InPlaceWrite& w = edit.writes[k];
          ASSERT_TRUE(k > 0 && at < n && w.offset + w.bytes.size() <= table_end) << k;
          std::vector<uint8_t> as_was = file.bytes, as_is = file.bytes;
          std::copy(w.before.begin(), w.before.end(), as_was.begin() + std::ptrdiff_t(w.offset));
          std::copy(w.bytes.begin(), w.bytes.end(), as_is.begin() + std::ptrdiff_t(w.offset));
          EXPECT_TRUE(ReadsAs(as_was, was) || ReadsAs(as_was, is) || ReadsAs(as_is, was) ||
                      ReadsAs(as_is, is)) << k;
          ++torn;
        }
      }
    }
  }
  std::printf("%d cuts, %d of them inside a field of the header or the table\n", budgets, torn);
}

}  // namespace
