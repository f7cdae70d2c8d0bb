#include "profile_properties.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "localized_text.h"
#include "md5.h"

namespace icc {
namespace {

constexpr uint32_t kTextType = Signature("text");
constexpr uint32_t kDescriptionType = Signature("desc");
constexpr uint32_t kLocalizedType = Signature("mluc");

// A tag of the profile read a part at a time; its first bytes, already read to learn its
// type, are not read again.
class ProfileTagBytes : public TagBytes {
 public:
  ProfileTagBytes(Profile& profile, uint32_t signature, uint32_t size, const uint8_t* head,
                  uint32_t head_size)
      : profile_(profile), signature_(signature), size_(size), head_(head),
        head_size_(head_size) {}
  uint32_t Size() override { return size_; }
  bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) override {
    if (offset == 0 && *count <= head_size_) {
      std::memcpy(buffer, head_, *count);
      return true;
    }
    result_ = profile_.GetTag(signature_, offset, count, buffer, nullptr);
    return result_.ok();
  }
  Result result() const { return result_; }

 private:
  Profile& profile_;
  uint32_t signature_, size_;
  const uint8_t* head_;
  uint32_t head_size_;
  Result result_;
};

}  // namespace

Result ReadStoredText(Profile& profile, uint32_t signature, const Language& language,
                      const CodePage& code_page, std::u16string* text, bool* cut,
                      uint64_t max_table_bytes) {
  text->clear();
  *cut = false;
  uint32_t size = 0;
  Result r = profile.GetTagSize(signature, &size);
  if (!r.ok()) return r;
  uint8_t head[kLocalizedHeaderSize];
  uint32_t count = std::min<uint32_t>(size, sizeof head);
  if (size >= 4) r = profile.GetTag(signature, 0, &count, head, nullptr);
  if (!r.ok()) return r;
  if (size < 4 || (LoadBE32(head) != kTextType && LoadBE32(head) != kDescriptionType &&
                   LoadBE32(head) != kLocalizedType))
    return {Status::InvalidProfile, 0};
  ProfileTagBytes tag(profile, signature, size, head, count);
  if (!LocalizedTableWithin(tag, max_table_bytes)) return {Status::OutOfMemory, 0};
  try {
    if (ReadShownDescription(tag, language, code_page, kMaxShownTextBytes, text, cut)) return {};
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  return tag.result().ok() ? Result{Status::InvalidProfile, 0} : tag.result();
}

Result ReadLocalizedChoice(Profile& profile, uint32_t signature, const Language& language,
                           LocalizedChoice* choice, uint64_t max_table_bytes) {
  *choice = LocalizedChoice();
  uint32_t size = 0;
  const Result r = profile.GetTagSize(signature, &size);
  if (!r.ok()) return r;
  ProfileTagBytes tag(profile, signature, size, nullptr, 0);
  if (!LocalizedTableWithin(tag, max_table_bytes)) return {Status::OutOfMemory, 0};
  try {
    if (ChooseLocalizedEntry(tag, language, kMaxShownTextBytes, choice)) return {};
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  return tag.result().ok() ? Result{Status::InvalidProfile, 0} : tag.result();
}

const char* ProfileIdStateText(ProfileIdState state) {
  switch (state) {
    case ProfileIdState::Valid: return "Valid";
    case ProfileIdState::Wrong: return "Wrong";
    case ProfileIdState::NotChecked: return "Not checked";
    case ProfileIdState::Absent: break;
  }
  return "Absent";
}

Result CheckProfileId(SourceFile& file, const Header& header, ProfileIdState* state,
                      uint64_t max_bytes) {
  if (!HasProfileId(header)) {
    *state = ProfileIdState::Absent;
    return {};
  }
  // The ID covers the profile as its size field gives it; a field past the file's end
  // cannot be right, and then the whole file is taken.
  uint64_t length = header.size();
  if (length < kHeaderSize || length > file.Size()) length = file.Size();
  if (length > max_bytes) {
    *state = ProfileIdState::NotChecked;
    return {};
  }

  uint8_t zeroed[kHeaderSize];
  std::copy_n(header.bytes(), kHeaderSize, zeroed);
  ZeroProfileIdFields(zeroed);
  Md5 md5;
  md5.Update(zeroed, kHeaderSize);
  std::vector<uint8_t> chunk;
  try {
    chunk.resize(std::size_t(std::min<uint64_t>(length - kHeaderSize, 1 << 20)));
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  for (uint64_t at = kHeaderSize; at < length;) {
    const std::size_t n = std::size_t(std::min<uint64_t>(length - at, chunk.size()));
    Result r = file.ReadAt(at, chunk.data(), n);
    if (!r.ok()) return r;
    md5.Update(chunk.data(), n);
    at += n;
  }
  uint8_t digest[kProfileIdSize];
  md5.Final(digest);
  *state = std::equal(digest, digest + kProfileIdSize, header.id())
               ? ProfileIdState::Valid
               : ProfileIdState::Wrong;
  return {};
}

Result CheckProfileId(Profile& profile, ProfileIdState* state, uint64_t max_bytes) {
  // The profile's bytes as stored.
  class Stored : public SourceFile {
   public:
    explicit Stored(Profile& p) : p_(p) {}
    uint64_t Size() const override { return p_.FileSize(); }
    Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
      return p_.ReadStored(offset, buffer, count);
    }

   private:
    Profile& p_;
  } stored(profile);
  return CheckProfileId(stored, profile.header(), state, max_bytes);
}

}  // namespace icc
