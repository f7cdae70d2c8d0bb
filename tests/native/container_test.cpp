// The profile container on every tag layout: opening and refusing files, lazy reads,
// resizing a tag wherever it stands, shared tag data, and commits that fail part-way.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "icc_profile.h"
#include "in_place_edit.h"
#include "md5.h"
#include "posix_file.h"
#include "profile_builder.h"

using namespace testing_icc;

namespace {

constexpr uint32_t kDesc = icc::Signature("desc");

std::unique_ptr<icc::Profile> OpenBytes(std::vector<uint8_t> bytes, uint64_t* read = nullptr) {
  std::unique_ptr<icc::Profile> p;
  icc::Result r = icc::Profile::Open(std::make_unique<MemoryFile>(std::move(bytes), read), &p);
  EXPECT_TRUE(r.ok()) << int(r.status);
  return p;
}

icc::Status OpenStatus(std::vector<uint8_t> bytes) {
  std::unique_ptr<icc::Profile> p;
  return icc::Profile::Open(std::make_unique<MemoryFile>(std::move(bytes)), &p).status;
}

std::vector<uint8_t> Written(icc::Profile& p) {
  MemorySink sink;
  EXPECT_TRUE(p.WriteTo(sink).ok());
  EXPECT_EQ(sink.bytes.size(), p.OutputLength());
  return sink.bytes;
}

void Resize(icc::Profile& p, const std::vector<uint8_t>& tag) {
  ASSERT_TRUE(p.SetTagSize(kDesc, uint32_t(tag.size())).ok());
  ASSERT_TRUE(p.SetTag(kDesc, 0, uint32_t(tag.size()), tag.data()).ok());
}

TEST(ContainerOpen, RefusesFilesThatAreNotProfiles) {
  std::vector<uint8_t> good = BuildProfile({{"desc", DescTag("x", false)}});
  EXPECT_EQ(OpenStatus(good), icc::Status::Ok);

  EXPECT_EQ(OpenStatus({}), icc::Status::InvalidProfile);
  EXPECT_EQ(OpenStatus(std::vector<uint8_t>(good.begin(), good.begin() + 131)),
            icc::Status::InvalidProfile);

  std::vector<uint8_t> no_magic = good;
  no_magic[36] = 'x';
  EXPECT_EQ(OpenStatus(no_magic), icc::Status::InvalidProfile);

  std::vector<uint8_t> huge_count = good;
  icc::StoreBE32(huge_count.data() + 128, 0xFFFFFFFF);
  EXPECT_EQ(OpenStatus(huge_count), icc::Status::InvalidProfile);

  std::vector<uint8_t> count_past_end = good;
  icc::StoreBE32(count_past_end.data() + 128, 20);
  EXPECT_EQ(OpenStatus(count_past_end), icc::Status::InvalidProfile);

  std::vector<uint8_t> offset_past_end = good;
  icc::StoreBE32(offset_past_end.data() + 136, 0xFFFFFFF0);
  EXPECT_EQ(OpenStatus(offset_past_end), icc::Status::InvalidProfile);

  std::vector<uint8_t> size_past_end = good;
  icc::StoreBE32(size_past_end.data() + 140, uint32_t(good.size()));
  EXPECT_EQ(OpenStatus(size_past_end), icc::Status::InvalidProfile);

  std::vector<uint8_t> inside_table = good;
  icc::StoreBE32(inside_table.data() + 136, 8);
  EXPECT_EQ(OpenStatus(inside_table), icc::Status::InvalidProfile);

  // A truncated file: the table promises a tag that is cut off.
  std::vector<uint8_t> truncated(good.begin(), good.end() - 8);
  EXPECT_EQ(OpenStatus(truncated), icc::Status::InvalidProfile);
}

TEST(ContainerRead, SizeQueryPartialReadsAndMissingTags) {
  const std::vector<uint8_t> desc = DescTag("Office monitor", true);
  auto p = OpenBytes(BuildProfile({{"wtpt", Pattern(20, 1)}, {"desc", desc}}));

  uint32_t count = 0;
  EXPECT_EQ(p->GetTag(kDesc, 0, &count, nullptr, nullptr).status,
            icc::Status::InsufficientBuffer);
  EXPECT_EQ(count, desc.size());

  uint8_t four[4];
  count = 4;
  ASSERT_TRUE(p->GetTag(kDesc, 8, &count, four, nullptr).ok());
  EXPECT_EQ(icc::LoadBE32(four), 15u);

  // Asking past the end copies what there is and says how much.
  std::vector<uint8_t> all(desc.size() + 10);
  count = uint32_t(all.size());
  ASSERT_TRUE(p->GetTag(kDesc, 0, &count, all.data(), nullptr).ok());
  EXPECT_EQ(count, desc.size());
  EXPECT_TRUE(std::equal(desc.begin(), desc.end(), all.begin()));

  count = 4;
  EXPECT_EQ(p->GetTag(kDesc, uint32_t(desc.size()) + 1, &count, four, nullptr).status,
            icc::Status::InvalidParameter);
  EXPECT_EQ(p->GetTag(icc::Signature("cprt"), 0, &count, four, nullptr).status,
            icc::Status::TagNotFound);
  EXPECT_EQ(p->SetTag(icc::Signature("cprt"), 0, 1, four).status, icc::Status::TagNotFound);
}

TEST(ContainerRead, ReadsOnlyTheBytesAskedFor) {
  // A 10 MB table before the description, as in large printer profiles.
  std::vector<uint8_t> big(10 << 20, 0x5A);
  uint64_t read = 0;
  auto p = OpenBytes(BuildProfile({{"A2B0", big}, {"desc", DescTag("Lazy", false)}}), &read);
  EXPECT_LE(read, 132u + 2 * 12);
  uint8_t text[5];
  uint32_t count = 5;
  ASSERT_TRUE(p->GetTag(kDesc, 12, &count, text, nullptr).ok());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text)), "Lazy");
  EXPECT_LE(read, 132u + 2 * 12 + 5);
}

// Layouts the resize must handle, each with the 'desc' tag somewhere else.
struct Layout {
  const char* name;
  std::vector<Tag> tags;
  uint32_t length;
};

std::vector<Layout> Layouts() {
  const auto d = DescTag("Original text", false);  // 104 bytes
  const auto odd = Pattern(37, 3);
  return {
      {"first", {{"desc", d}, {"rXYZ", Pattern(20, 1)}, {"gTRC", odd}}, 0},
      {"middle", {{"rXYZ", Pattern(20, 1)}, {"desc", d}, {"gTRC", odd}}, 0},
      {"last", {{"rXYZ", Pattern(20, 1)}, {"gTRC", odd}, {"desc", d}}, 0},
      {"table out of offset order",
       {{"gTRC", odd, 400}, {"desc", d, 200}, {"rXYZ", Pattern(20, 1), 168}},
       440},
      {"gaps between tags",
       {{"rXYZ", Pattern(20, 1), 180}, {"desc", d, 260}, {"gTRC", odd, 420}},
       460},
      {"trailing bytes after the last tag", {{"rXYZ", Pattern(20, 1)}, {"desc", d}}, 400},
  };
}

TEST(ContainerResize, EveryLayoutGrowShrinkAndSamePaddedSize) {
  for (const Layout& layout : Layouts()) {
    // Grow, shrink, and a different size with the same padded size (104 bytes).
    for (const char* text : {"A somewhat longer description than before", "Short", "Original te"}) {
      SCOPED_TRACE(std::string(layout.name) + " / " + text);
      const std::vector<uint8_t> before = BuildProfile(layout.tags, layout.length);
      const auto old_tags = TagsOf(before);
      const uint32_t old_size = uint32_t(old_tags.at("desc").size());
      const std::vector<uint8_t> tag = DescTag(text, false);

      auto p = OpenBytes(before);
      Resize(*p, tag);
      const std::vector<uint8_t> after = Written(*p);

      EXPECT_EQ(int64_t(after.size()) - int64_t(before.size()),
                int64_t(icc::Pad4(uint32_t(tag.size()))) - int64_t(icc::Pad4(old_size)));
      EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
      auto new_tags = TagsOf(after);
      EXPECT_EQ(new_tags.at("desc"), tag);
      for (const auto& [sig, bytes] : old_tags)
        if (sig != "desc") EXPECT_EQ(new_tags.at(sig), bytes) << sig;
      for (uint32_t i = 0; i < icc::LoadBE32(after.data() + 128); ++i)
        EXPECT_EQ(icc::LoadBE32(after.data() + 136 + 12 * i) % 4, 0u) << "tag " << i;
      // Everything but the size field and the tag table stays as it was in the header.
      EXPECT_TRUE(std::equal(before.begin() + 4, before.begin() + 128, after.begin() + 4));

      // The result is itself a profile that opens and reads back.
      auto again = OpenBytes(after);
      uint32_t size = 0;
      ASSERT_TRUE(again->GetTagSize(kDesc, &size).ok());
      EXPECT_EQ(size, tag.size());
    }
  }
}

TEST(ContainerResize, SharedTagDataStaysWithTheOtherEntry) {
  // 'desc' and 'dmdd' point at the same bytes; 'dmnd' follows.
  const auto d = DescTag("Shared", false);
  std::vector<uint8_t> before =
      BuildProfile({{"desc", d, 168}, {"dmdd", d, 168}, {"dmnd", Pattern(12, 9), 268}});
  auto p = OpenBytes(before);
  bool shared = false;
  uint32_t count = 4;
  uint8_t buf[4];
  ASSERT_TRUE(p->GetTag(kDesc, 0, &count, buf, &shared).ok());
  EXPECT_TRUE(shared);

  const auto tag = DescTag("A new and longer text", true);
  Resize(*p, tag);
  const auto after = Written(*p);
  auto tags = TagsOf(after);
  EXPECT_EQ(tags.at("desc"), tag);
  EXPECT_EQ(tags.at("dmdd"), d);
  EXPECT_EQ(tags.at("dmnd"), Pattern(12, 9));
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
  EXPECT_EQ(icc::LoadBE32(after.data() + 136) % 4, 0u);
}

TEST(ContainerResize, OverlappingNeighbourIsNeverRewritten) {
  // 'desc' of 91 bytes whose padding would cover the first byte of the next tag.
  const auto d = DescTag("", false);  // 91 bytes
  std::vector<uint8_t> before = BuildProfile({{"desc", d, 156}, {"gTRC", Pattern(9, 4), 247}});
  auto p = OpenBytes(before);
  const auto tag = DescTag("Longer", false);
  Resize(*p, tag);
  const auto after = Written(*p);
  auto tags = TagsOf(after);
  EXPECT_EQ(tags.at("desc"), tag);
  EXPECT_EQ(tags.at("gTRC"), Pattern(9, 4));
  // The tag moved to the end: its old bytes are zero, not a copy of the old text.
  EXPECT_TRUE(std::all_of(after.begin() + 156, after.begin() + 247, [](uint8_t b) { return b == 0; }));
}

TEST(ContainerResize, NewTagsAndZeroFilledGrowth) {
  auto p = OpenBytes(BuildProfile({{"rXYZ", Pattern(20, 1)}, {"desc", DescTag("x", false)}}));
  ASSERT_TRUE(p->SetTagSize(icc::Signature("cprt"), 10).ok());
  const uint8_t text[] = "(c) us";
  ASSERT_TRUE(p->SetTag(icc::Signature("cprt"), 2, 6, text).ok());
  EXPECT_EQ(p->SetTag(icc::Signature("cprt"), 6, 5, text).status, icc::Status::InvalidParameter);
  ASSERT_TRUE(p->SetTagSize(kDesc, 200).ok());  // grows with zeros after the kept bytes

  auto tags = TagsOf(Written(*p));
  EXPECT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags.at("rXYZ"), Pattern(20, 1));
  EXPECT_EQ(tags.at("cprt"), (std::vector<uint8_t>{0, 0, '(', 'c', ')', ' ', 'u', 's', 0, 0}));
  const auto desc = tags.at("desc");
  ASSERT_EQ(desc.size(), 200u);
  const auto old = DescTag("x", false);
  EXPECT_TRUE(std::equal(old.begin(), old.end(), desc.begin()));
  EXPECT_TRUE(std::all_of(desc.begin() + old.size(), desc.end(), [](uint8_t b) { return b == 0; }));
}

TEST(ContainerResize, SeveralChangesInOneSave) {
  // Two tags rewritten where they stand (one grows, one shrinks) and one added: every
  // offset moves by the changes before it and by the longer table.
  const std::vector<uint8_t> before =
      BuildProfile({{"rXYZ", Pattern(20, 1)}, {"gTRC", Pattern(37, 3)},
                    {"desc", DescTag("Original text", false)}, {"bTRC", Pattern(14, 6)}});
  auto p = OpenBytes(before);
  const auto trc = Pattern(301, 8);
  ASSERT_TRUE(p->SetTagSize(icc::Signature("gTRC"), uint32_t(trc.size())).ok());
  ASSERT_TRUE(p->SetTag(icc::Signature("gTRC"), 0, uint32_t(trc.size()), trc.data()).ok());
  const auto desc = DescTag("", false);
  Resize(*p, desc);
  const auto cprt = Pattern(11, 7);
  ASSERT_TRUE(p->SetTagSize(icc::Signature("cprt"), uint32_t(cprt.size())).ok());
  ASSERT_TRUE(p->SetTag(icc::Signature("cprt"), 0, uint32_t(cprt.size()), cprt.data()).ok());

  const auto after = Written(*p);
  EXPECT_EQ(after.size(), before.size() + 12 + (304 - 40) + (92 - 104) + 12);
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
  const auto tags = TagsOf(after);
  EXPECT_EQ(tags.at("rXYZ"), Pattern(20, 1));
  EXPECT_EQ(tags.at("gTRC"), trc);
  EXPECT_EQ(tags.at("desc"), desc);
  EXPECT_EQ(tags.at("bTRC"), Pattern(14, 6));
  EXPECT_EQ(tags.at("cprt"), cprt);
  for (uint32_t i = 0; i < 5; ++i)
    EXPECT_EQ(icc::LoadBE32(after.data() + 136 + 12 * i) % 4, 0u) << "tag " << i;
}

TEST(ContainerResize, LastTagWithoutPaddingAtTheEnd) {
  // The file ends right after a 91-byte description: the rewritten tag is padded like
  // any other, and the size field follows the real length.
  auto before = BuildProfile({{"rXYZ", Pattern(20, 1)}, {"desc", DescTag("", false)}});
  before.resize(before.size() - 1);
  icc::StoreBE32(before.data(), uint32_t(before.size()));
  for (const std::string& text : {std::string("abcd"), std::string()}) {
    SCOPED_TRACE(text);
    auto p = OpenBytes(before);
    const auto tag = DescTag(text, false);
    Resize(*p, tag);
    const auto after = Written(*p);
    EXPECT_EQ(after.size(), before.size() - 91 + icc::Pad4(uint32_t(tag.size())));
    EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
    EXPECT_EQ(TagsOf(after).at("desc"), tag);
    EXPECT_EQ(TagsOf(after).at("rXYZ"), Pattern(20, 1));
  }
}

TEST(ContainerRead, FileSystemErrorsPassThrough) {
  // A file that fails every read after the tag table, as a disk or network error would.
  class FailingFile : public icc::SourceFile {
   public:
    explicit FailingFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
      if (offset + count > 200) return icc::Result::Io(1117);
      std::memcpy(buffer, bytes_.data() + offset, count);
      return {};
    }

   private:
    std::vector<uint8_t> bytes_;
  };
  std::unique_ptr<icc::Profile> p;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<FailingFile>(BuildProfile(
                                     {{"rXYZ", Pattern(20, 1)}, {"desc", DescTag("x", false)}})),
                                 &p)
                  .ok());
  uint8_t buffer[100];
  uint32_t count = sizeof buffer;
  EXPECT_EQ(p->GetTag(kDesc, 0, &count, buffer, nullptr), icc::Result::Io(1117));
  EXPECT_EQ(p->SetTagSize(kDesc, 50), icc::Result::Io(1117));  // keeps the first 50 bytes
  ASSERT_TRUE(p->SetTagSize(icc::Signature("rXYZ"), 8).ok());
  MemorySink sink;
  EXPECT_EQ(p->WriteTo(sink), icc::Result::Io(1117));
}

TEST(ContainerHeader, StoredAsGivenWithTheRealLength) {
  auto before = BuildProfile({{"desc", DescTag("x", false)}});
  auto p = OpenBytes(before);
  uint8_t header[128];
  p->GetHeader(header);
  EXPECT_TRUE(std::equal(header, header + 128, before.begin()));
  for (int i = 4; i < 128; ++i) header[i] = uint8_t(i);
  header[8] = 2;  // a version 2 profile: no ID to recompute
  icc::StoreBE32(header, 12345);  // a wrong size is replaced by the real one
  p->SetHeader(header);
  auto after = Written(*p);
  EXPECT_EQ(icc::LoadBE32(after.data()), after.size());
  EXPECT_TRUE(std::equal(header + 4, header + 128, after.begin() + 4));
  EXPECT_EQ(p->header().cmm(), 0x04050607u);  // the header set is the one decoded
}

TEST(ContainerHeader, Version4ProfileIdFollowsTheContent) {
  auto before = BuildProfile({{"rXYZ", Pattern(20, 1)}, {"desc", DescTag("x", false)}});
  before[8] = 4;
  before[44] = 0x80;  // flags and intent do not count towards the ID
  before[67] = 1;
  for (int i = 84; i < 100; ++i) before[i] = 0xAA;

  auto p = OpenBytes(before);
  Resize(*p, DescTag("A new text", false));
  auto after = Written(*p);
  std::vector<uint8_t> zeroed = after;
  std::fill_n(zeroed.begin() + 44, 4, 0);
  std::fill_n(zeroed.begin() + 64, 4, 0);
  std::fill_n(zeroed.begin() + 84, 16, 0);
  icc::Md5 md5;
  md5.Update(zeroed.data(), zeroed.size());
  uint8_t id[16];
  md5.Final(id);
  EXPECT_TRUE(std::equal(id, id + 16, after.begin() + 84));
  EXPECT_EQ(after[44], 0x80);
  EXPECT_EQ(after[67], 1);

  // A zero ID stays zero; before version 4 the field is left as it is.
  for (uint8_t version : {4, 2}) {
    auto other = before;
    other[8] = version;
    if (version == 4) std::fill_n(other.begin() + 84, 16, 0);
    auto q = OpenBytes(other);
    Resize(*q, DescTag("A new text", false));
    auto out = Written(*q);
    EXPECT_TRUE(std::equal(other.begin() + 84, other.begin() + 100, out.begin() + 84)) << int(version);
  }
}

// The profile ID as computed over a whole profile's bytes.
std::vector<uint8_t> IdOf(std::vector<uint8_t> profile) {
  std::fill_n(profile.begin() + 44, 4, 0);
  std::fill_n(profile.begin() + 64, 4, 0);
  std::fill_n(profile.begin() + 84, 16, 0);
  icc::Md5 md5;
  md5.Update(profile.data(), profile.size());
  std::vector<uint8_t> id(16);
  md5.Final(id.data());
  return id;
}

// Before version 4 the ID field is reserved, yet some profiles carry their MD5 there: both
// writers (a rewrite and an edit in place) give such a profile the ID of its new content and
// leave any other bytes in the field as they are.
TEST(ContainerHeader, IdBeforeVersion4FollowsTheContentWhenItWasRight) {
  auto base = BuildProfile({{"rXYZ", Pattern(20, 1)}, {"desc", DescTag("x", false)}});
  base[44] = 0x80;
  const std::vector<uint8_t> other(16, 0xAA), none(16, 0);
  struct Case {
    const char* name;
    uint8_t version;
    const std::vector<uint8_t>* field;  // null: the profile's own MD5
  } cases[] = {
      {"version 2, its MD5", 2, nullptr},
      {"version 3, its MD5", 3, nullptr},
      {"version 2, other bytes", 2, &other},
      {"version 2, zeros", 2, &none},
  };
  const std::vector<uint8_t> tag = DescTag("A new text", false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto before = base;
    before[8] = c.version;
    const std::vector<uint8_t> field = c.field ? *c.field : IdOf(before);
    std::copy(field.begin(), field.end(), before.begin() + 84);

    auto p = OpenBytes(before);
    Resize(*p, tag);
    icc::InPlaceEdit edit;
    auto q = OpenBytes(before);
    icc::TagChanges changes(*q);
    ASSERT_TRUE(changes.ReplaceTag(kDesc, tag).ok());
    ASSERT_TRUE(icc::PlanInPlaceEdit(before, changes.Changes(), &edit).ok());
    for (const auto& after : {Written(*p), edit.result})
      EXPECT_EQ(std::vector<uint8_t>(after.begin() + 84, after.begin() + 100),
                c.field ? field : IdOf(after));
  }
}

// Commit through real files, with a failure injected at each step.
class FaultyReplacement : public icc::Replacement, private icc::Sink {
 public:
  enum Step { kNone, kCreate, kWrite, kFinish, kReplace };
  FaultyReplacement(const std::string& path, Step step, int write_index = 0)
      : real_(path), step_(step), write_index_(write_index) {}

  icc::Result Create(icc::Sink** sink) override {
    if (step_ == kCreate) return icc::Result::Io(28);
    icc::Result r = real_.Create(&inner_);
    *sink = this;
    return r;
  }
  icc::Result Finish() override {
    return step_ == kFinish ? icc::Result::Io(28) : real_.Finish();
  }
  icc::Result Replace() override {
    return step_ == kReplace ? icc::Result::Io(13) : real_.Replace();
  }
  void Discard() override { real_.Discard(); }
  int writes = 0;
  std::size_t largest = 0;  // the longest single write

 private:
  icc::Result Write(const void* data, std::size_t count) override {
    if (step_ == kWrite && writes == write_index_) return icc::Result::Io(28);  // disk full
    ++writes;
    largest = std::max(largest, count);
    return inner_->Write(data, count);
  }
  posix::PosixReplacement real_;
  icc::Sink* inner_ = nullptr;
  Step step_;
  int write_index_;
};

class CommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/commit_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/profile.icc";
    // Tables of a few MB around the description, so that a save takes many writes.
    original_ = BuildProfile({{"rXYZ", Pattern(2 << 20, 1)}, {"desc", DescTag("Before", false)},
                              {"gTRC", Pattern(3 << 20, 2)}});
    WriteFileBytes(path_, original_);
    chmod(path_.c_str(), 0640);
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir_;
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::unique_ptr<icc::Profile> Open() {
    std::unique_ptr<icc::SourceFile> file;
    EXPECT_TRUE(posix::OpenPosixFile(path_, &file).ok());
    std::unique_ptr<icc::Profile> p;
    EXPECT_TRUE(icc::Profile::Open(std::move(file), &p).ok());
    return p;
  }
  int FilesInDir() {
    int n = 0;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    return n;
  }
  std::string dir_, path_;
  std::vector<uint8_t> original_;
};

TEST_F(CommitTest, FailureAtAnyStepLeavesTheOriginalByteForByte) {
  struct Case { FaultyReplacement::Step step; int write; };
  std::vector<Case> cases = {{FaultyReplacement::kCreate, 0}, {FaultyReplacement::kFinish, 0},
                             {FaultyReplacement::kReplace, 0}};
  // Writes of the stream, counted in a commit without a failure.
  int writes = 0;
  {
    auto p = Open();
    Resize(*p, DescTag("After the change", true));
    struct Counter : icc::Sink {
      icc::Result Write(const void*, std::size_t) override { return ++*n, icc::Result{}; }
      int* n;
    } counter;
    counter.n = &writes;
    ASSERT_TRUE(p->WriteTo(counter).ok());
  }
  ASSERT_GE(writes, 3);
  // The first writes (header and table, then data), one halfway and the last ones.
  for (int w : {0, 1, 2, writes / 2, writes - 2, writes - 1})
    cases.push_back({FaultyReplacement::kWrite, w});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "step " << c.step << " write " << c.write);
    auto p = Open();
    Resize(*p, DescTag("After the change", true));
    FaultyReplacement replacement(path_, c.step, c.write);
    EXPECT_FALSE(icc::Commit(*p, replacement).ok());
    EXPECT_EQ(FileBytes(path_), original_);
    EXPECT_EQ(FilesInDir(), 1) << "a temporary file was left behind";
  }
}

TEST_F(CommitTest, SuccessReplacesTheFileKeepingItsMode) {
  auto p = Open();
  const auto tag = DescTag("After the change", true);
  Resize(*p, tag);
  FaultyReplacement replacement(path_, FaultyReplacement::kNone);
  ASSERT_TRUE(icc::Commit(*p, replacement).ok());
  const auto after = FileBytes(path_);
  EXPECT_EQ(TagsOf(after).at("desc"), tag);
  EXPECT_EQ(TagsOf(after).at("gTRC"), Pattern(3 << 20, 2));
  EXPECT_EQ(FilesInDir(), 1);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Streaming uses a bounded buffer: no write near the size of the file.
  EXPECT_GE(replacement.writes, 3);
  EXPECT_LT(replacement.largest, original_.size() / 4);
}

}  // namespace
