// Feeds arbitrary bytes to the profile container as a file: open, every read (also as the
// property handler reads texts and the profile ID), resizing and writing tags, a header
// change, a rewrite into memory, and a commit with a failing step.
// The rewritten profile must open again, keep every untouched tag byte for byte, and carry
// the size field and (in a version 4 profile with one) the profile ID of its new content.
//
// The edits to make are taken from the header's last 28 bytes, which profiles leave zero
// and the container never interprets, so a real profile stays a valid seed and the fuzzer
// mutates the file and the edits together:
//   100      which tag to resize (index modulo count + 1; the extra value adds a tag)
//   101      flags: 1 header change, 2 partial SetTag, 4 second edit, 8 commit, 16 shrink
//   102      which tag the second edit resizes
//   103      commit step that fails (0 none, 1 create, 2 a write, 3 finish, 4 replace)
//   104-107  signature of an added tag
//   108-109  size change of the first edit (16 bits)
//   110-111  size change of the second edit (16 bits)
//   112-115  offset and length of the partial SetTag (16 bits each)
//   116      index of the write that fails
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "icc_profile.h"
#include "md5.h"
#include "profile_builder.h"
#include "profile_properties.h"
#include "text_description.h"

namespace {

// The fuzzer's input as a file.  The container promises never to read outside the file,
// so a read out of range is a failure of the container, not an I/O error.
class InputFile : public icc::SourceFile {
 public:
  InputFile(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
    CHECK(offset <= size_ && count <= size_ - offset);
    std::memcpy(buffer, data_ + offset, count);
    return {};
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
};

// A replacement in memory that fails at the chosen step.
class FaultyReplacement : public icc::Replacement, private icc::Sink {
 public:
  FaultyReplacement(int step, int failing_write) : step_(step), failing_write_(failing_write) {}
  icc::Result Create(icc::Sink** sink) override {
    if (step_ == 1) return icc::Result::Io(28);
    *sink = this;
    return {};
  }
  icc::Result Finish() override { return step_ == 3 ? icc::Result::Io(5) : icc::Result{}; }
  icc::Result Replace() override {
    if (step_ == 4) return icc::Result::Io(13);
    replaced = true;
    return {};
  }
  void Discard() override { discarded = true; }

  bool replaced = false;
  bool discarded = false;

 private:
  icc::Result Write(const void*, std::size_t) override {
    return step_ == 2 && writes_++ == failing_write_ ? icc::Result::Io(28) : icc::Result{};
  }
  int step_;
  int failing_write_;
  int writes_ = 0;
};

uint16_t Load16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// Bytes [offset, offset + size) of `file`, or empty when they are not all inside it.
bool Slice(const std::vector<uint8_t>& file, uint64_t offset, uint64_t size,
           std::vector<uint8_t>* out) {
  if (offset > file.size() || size > file.size() - offset) return false;
  out->assign(file.begin() + offset, file.begin() + offset + size);
  return true;
}

// Reads one tag every way the colour service does and checks the answers against the file.
void ReadTag(icc::Profile& p, const icc::TagEntry& e, bool first_with_signature,
             const uint8_t* data) {
  uint32_t size = 0;
  CHECK(p.GetTagSize(e.signature, &size).ok());
  if (!first_with_signature) return;  // lookups by signature answer for the first entry
  CHECK(size == e.size);

  uint32_t count = 0;
  CHECK(p.GetTag(e.signature, 0, &count, nullptr, nullptr).status ==
        icc::Status::InsufficientBuffer);
  CHECK(count == e.size);

  // The tag's first bytes: more of them would only copy more, not read differently.
  const uint32_t want = e.size < 4096 ? e.size : 4096;
  std::vector<uint8_t> bytes(want + 1);  // never a null buffer, which asks for the size
  count = want;
  bool shared = false;
  CHECK(p.GetTag(e.signature, 0, &count, bytes.data(), &shared).ok());
  CHECK(count == want);
  CHECK(std::memcmp(bytes.data(), data + e.offset, want) == 0);
  icc::TextDescription text;
  CHECK(icc::ParseTextDescription(bytes.data(), want, &text) == (want >= 12));

  // The info tip's reads: the count at 8, then that many bytes of text from 12.
  uint8_t be[4] = {};
  count = 4;
  const icc::Result r = p.GetTag(e.signature, 8, &count, be, nullptr);
  if (e.size < 8) {
    CHECK(r.status == icc::Status::InvalidParameter);
  } else {
    CHECK(r.ok() && count == std::min<uint32_t>(4, e.size - 8));
    uint32_t n = icc::LoadBE32(be);
    if (n > 4096) n = 4096;
    std::vector<uint8_t> text_bytes(n + 1);  // a real buffer even for a count of 0
    count = n;
    const icc::Result t = p.GetTag(e.signature, 12, &count, text_bytes.data(), nullptr);
    CHECK(e.size < 12 ? t.status == icc::Status::InvalidParameter
                      : t.ok() && count == std::min<uint32_t>(n, e.size - 12));
  }
  // Past the end: nothing is copied and the offset is refused.
  count = 1;
  if (e.size != 0xFFFFFFFFu)
    CHECK(p.GetTag(e.signature, e.size + 1, &count, be, nullptr).status ==
          icc::Status::InvalidParameter);
}

// Whether a changed tag has to move: it has no bytes, or its padded extent meets another
// entry's data, so rewriting it in place would change that entry.
bool SharesBytes(const std::vector<icc::TagEntry>& tags, std::size_t i, uint64_t file_size) {
  const icc::TagEntry& e = tags[i];
  if (e.size == 0) return true;
  const uint64_t end = std::min<uint64_t>(e.offset + icc::Pad4(uint64_t(e.size)), file_size);
  for (std::size_t j = 0; j < tags.size(); ++j) {
    const uint64_t o_end = uint64_t(tags[j].offset) + std::max<uint32_t>(tags[j].size, 1);
    if (j != i && tags[j].offset < end && e.offset < o_end) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::unique_ptr<icc::Profile> p;
  const icc::Result opened = icc::Profile::Open(std::make_unique<InputFile>(data, size), &p);
  if (!opened.ok()) {
    CHECK(!p && opened.status != icc::Status::Ok);
    return 0;
  }
  CHECK(size >= icc::kTagTableStart);

  // Reads.
  const std::vector<icc::TagEntry> original = p->Entries();
  uint8_t header[icc::kHeaderSize];
  p->GetHeader(header);
  CHECK(std::memcmp(header, data, icc::kHeaderSize) == 0);
  std::map<uint32_t, std::size_t> first;
  for (std::size_t i = 0; i < original.size(); ++i) first.emplace(original[i].signature, i);
  for (std::size_t i = 0; i < original.size(); ++i)
    ReadTag(*p, original[i], first[original[i].signature] == i, data);
  uint32_t count = 0;
  const uint32_t absent = icc::Signature("zzzz");
  if (!first.count(absent))
    CHECK(p->GetTag(absent, 0, &count, nullptr, nullptr).status == icc::Status::TagNotFound);

  // What a file browser shows: every tag read as text stays within the shown bound, and the
  // profile ID check reads only the file.
  for (const icc::TagEntry& e : original) {
    std::u16string text;
    bool cut = false;
    if (icc::ReadStoredText(*p, e.signature, {{'e', 'n'}, {'U', 'S'}}, icc::PortableCodePage(),
                            &text, &cut).ok())
      CHECK(text.size() <= icc::kMaxShownTextBytes);
  }
  icc::ProfileIdState id_state, bounded;
  CHECK(icc::CheckProfileId(*p, &id_state).ok());
  // With a bound, the same state, or NotChecked for an ID that covers more.
  CHECK(icc::CheckProfileId(*p, &bounded, size / 2).ok());
  CHECK(bounded == id_state ||
        (bounded == icc::ProfileIdState::NotChecked && id_state != icc::ProfileIdState::Absent));

  // Edits, driven by the reserved header bytes.
  const uint8_t* control = data + 100;
  const uint8_t flags = control[1];
  std::map<std::size_t, std::vector<uint8_t>> expected;  // entry -> its new content
  auto edit = [&](uint8_t which, uint16_t change) {
    std::size_t index = which % (original.size() + 1);
    uint32_t signature = 0;
    if (index == original.size()) {
      signature = icc::LoadBE32(control + 4);
      if (first.count(signature)) index = first[signature];
    } else {
      signature = original[index].signature;
      index = first[signature];
    }
    uint32_t old_size = 0;
    const bool exists = p->GetTagSize(signature, &old_size).ok();
    const uint32_t new_size = flags & 16 ? (old_size > change ? old_size - change : 0)
                                         : uint32_t(std::min<uint64_t>(old_size + change, 1u << 16));
    if (!p->SetTagSize(signature, new_size).ok()) return;
    std::vector<uint8_t> content(new_size);
    auto known = expected.find(index);
    if (known != expected.end()) {
      std::copy_n(known->second.begin(), std::min(old_size, new_size), content.begin());
    } else if (exists) {
      std::copy_n(data + original[index].offset, std::min(old_size, new_size), content.begin());
    } else {
      index = p->Entries().size() - 1;
    }
    // Mark the new bytes so that a misplaced tag shows.
    for (uint32_t i = old_size; i < new_size; ++i) content[i] = uint8_t(i * 7 + 1);
    if (new_size > old_size)
      CHECK(p->SetTag(signature, old_size, new_size - old_size, content.data() + old_size).ok());
    expected[index] = std::move(content);
  };
  edit(control[0], Load16(control + 8));
  if (flags & 4) edit(control[2], Load16(control + 10));
  if ((flags & 2) && !expected.empty()) {
    auto& [index, content] = *expected.begin();
    const uint32_t at = Load16(control + 12), n = Load16(control + 14);
    const icc::Result r =
        p->SetTag(p->Entries()[index].signature, at, n, n ? content.data() : nullptr);
    if (at <= content.size() && n <= content.size() - at) {
      CHECK(r.ok());
      for (uint32_t i = 0; i < n; ++i) content[at + i] = uint8_t(~content[at + i]);
      std::vector<uint8_t> flipped(content.begin() + at, content.begin() + at + n);
      CHECK(p->SetTag(p->Entries()[index].signature, at, n, flipped.data()).ok());
    } else {
      CHECK(r.status == icc::Status::InvalidParameter);
    }
  }
  if (flags & 1) {
    for (std::size_t i = 0; i < icc::kHeaderSize; ++i)
      if (i < 36 || i >= 40) header[i] ^= uint8_t(i);  // keeps the file signature
    p->SetHeader(header);
  }
  for (const auto& [index, content] : expected) {
    uint32_t n = 0;
    CHECK(p->GetTagSize(p->Entries()[index].signature, &n).ok() && n == content.size());
  }

  // Rewrite into memory and open the result again.
  testing_icc::MemorySink sink;
  const uint64_t length = p->OutputLength();
  const icc::Result written = p->WriteTo(sink);
  if (!written.ok()) {
    CHECK(written.status == icc::Status::InvalidParameter && length > 0xFFFFFFFFu);
    return 0;
  }
  const std::vector<uint8_t>& out = sink.bytes;
  CHECK(out.size() == length);
  CHECK(icc::LoadBE32(out.data()) == out.size());
  // The header as set, but for its size field and, in a profile that carries an ID (before
  // version 4, one whose field held its MD5), the ID that belongs to the new content.
  bool keeps_id = false;
  InputFile input(data, size);
  CHECK(icc::KeepsProfileId(input, icc::Header(header), &keeps_id).ok());
  const std::size_t id_end = header[8] >= 4 || keeps_id ? 100 : 84;
  CHECK(std::memcmp(out.data() + 4, header + 4, 80) == 0);
  CHECK(std::memcmp(out.data() + id_end, header + id_end, icc::kHeaderSize - id_end) == 0);
  // A profile that carries an ID gets the digest of what was written, with the flags, the
  // rendering intent and the ID taken as zero; one without keeps none.
  if (id_end == 100) {
    static const uint8_t kNoId[16] = {};
    if (std::memcmp(header + 84, kNoId, 16) == 0) {
      CHECK(std::memcmp(out.data() + 84, kNoId, 16) == 0);
    } else {
      // The digest of the output with those fields as zeros, taken piece by piece.
      static const uint8_t kZeros[16] = {};
      icc::Md5 md5;
      md5.Update(out.data(), 44);
      md5.Update(kZeros, 4);
      md5.Update(out.data() + 48, 16);
      md5.Update(kZeros, 4);
      md5.Update(out.data() + 68, 16);
      md5.Update(kZeros, 16);
      md5.Update(out.data() + 100, out.size() - 100);
      uint8_t id[16];
      md5.Final(id);
      CHECK(std::memcmp(out.data() + 84, id, 16) == 0);
    }
  }

  std::unique_ptr<icc::Profile> again;
  CHECK(icc::Profile::Open(std::make_unique<InputFile>(out.data(), out.size()), &again).ok());
  const std::vector<icc::TagEntry>& now = again->Entries();
  CHECK(now.size() == p->Entries().size());
  bool relocated = false;
  for (std::size_t i = 0; i < now.size(); ++i) {
    CHECK(now[i].signature == p->Entries()[i].signature);
    std::vector<uint8_t> bytes;
    CHECK(Slice(out, now[i].offset, now[i].size, &bytes));
    auto changed = expected.find(i);
    if (changed != expected.end()) {
      CHECK(bytes == changed->second);
      CHECK(now[i].offset % 4 == 0 || (i < original.size() && original[i].offset % 4 != 0));
      relocated = relocated || i >= original.size() || SharesBytes(original, i, size);
    } else {
      CHECK(now[i].size == original[i].size);
      CHECK(std::equal(bytes.begin(), bytes.end(), data + original[i].offset));
    }
  }

  // Where every tag is aligned in a file of whole words and no changed tag had to move,
  // the length changes by the padded size changes alone.
  bool aligned = size % 4 == 0;
  for (const icc::TagEntry& e : original) aligned = aligned && e.offset % 4 == 0;
  if (aligned && !relocated) {
    int64_t delta = 0;
    for (const auto& [index, content] : expected)
      delta += int64_t(icc::Pad4(uint64_t(content.size()))) -
               int64_t(icc::Pad4(uint64_t(original[index].size)));
    CHECK(int64_t(out.size()) == int64_t(size) + delta);
  }

  // A commit that fails at one step never reaches the replace.
  if (flags & 8) {
    const int step = control[3] % 5;
    FaultyReplacement replacement(step, control[16]);
    const icc::Result r = icc::Commit(*p, replacement);
    CHECK(r.ok() == replacement.replaced);
    if (r.ok()) CHECK(!replacement.discarded);
    if (!r.ok() && step > 1) CHECK(replacement.discarded);  // a made file is taken away
  }
  return 0;
}
