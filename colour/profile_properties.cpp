#include "profile_properties.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "localized_text.h"
#include "md5.h"

namespace icc {
namespace {

constexpr uint32_t kTextType = Signature("text");
constexpr uint32_t kDescriptionType = Signature("desc");
constexpr uint32_t kLocalizedType = Signature("mluc");
constexpr uint32_t kTextStart = 8;    // textType: the text follows the type and reserved bytes
constexpr uint32_t kAsciiCount = 8;   // textDescriptionType: the ASCII count, then the text
constexpr uint32_t kAsciiStart = 12;

Result Invalid() { return {Status::InvalidProfile, 0}; }

// Reads `count` bytes of the tag from `offset`; fewer are delivered only at the tag's end.
Result ReadPart(Profile& profile, uint32_t signature, uint32_t offset, uint32_t count,
                std::vector<uint8_t>* bytes) {
  if (count == 0) {  // no buffer would make it a size query
    bytes->clear();
    return {};
  }
  try {
    bytes->resize(count);
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  Result r = profile.GetTag(signature, offset, &count, bytes->data(), nullptr);
  bytes->resize(r.ok() ? count : 0);
  return r;
}

// Bytes up to the first zero, or all of them.
std::string UpToZero(const uint8_t* bytes, std::size_t count) {
  const uint8_t* end = std::find(bytes, bytes + count, uint8_t(0));
  return std::string(bytes, end);
}

Result ReadLocalized(Profile& profile, uint32_t signature, uint32_t size, const uint8_t* head,
                     const char language[2], const char country[2], StoredText* text) {
  std::vector<uint8_t> table;
  Result r = ReadPart(profile, signature, 0, uint32_t(LocalizedTableBytes(head, size)), &table);
  if (!r.ok()) return r;
  std::vector<LocalizedEntry> entries;
  if (!ParseLocalizedEntries(table.data(), table.size(), size, &entries)) return Invalid();
  text->wide = true;
  const int chosen = ChooseLocalizedRecord(entries, language, country);
  if (chosen < 0) return {};
  const LocalizedEntry& entry = entries[std::size_t(chosen)];
  std::vector<uint8_t> stored;
  r = ReadPart(profile, signature, entry.offset, std::min(entry.length, kMaxShownTextBytes),
               &stored);
  if (!r.ok()) return r;
  text->units = DecodeUtf16BE(stored.data(), stored.size());
  text->units.resize(std::min(text->units.size(), text->units.find(u'\0')));
  return {};
}

// A description record: its Unicode record when that holds text, else its ASCII record.
// Both are found through the ASCII count `ascii`, which may run past the tag.
Result ReadDescriptionRecord(Profile& profile, uint32_t signature, uint32_t size,
                             uint32_t ascii, StoredText* text) {
  ascii = std::min(ascii, size - kAsciiStart);
  std::vector<uint8_t> stored;
  const uint64_t unicode_at = uint64_t(kAsciiStart) + ascii + 8;  // after language and count
  if (unicode_at <= size) {
    Result r = ReadPart(profile, signature, uint32_t(unicode_at - 4), 4, &stored);
    if (!r.ok()) return r;
    const uint64_t bytes = std::min<uint64_t>(2 * uint64_t(LoadBE32(stored.data())),
                                              size - unicode_at);
    r = ReadPart(profile, signature, uint32_t(unicode_at),
                 uint32_t(std::min<uint64_t>(bytes, kMaxShownTextBytes)), &stored);
    if (!r.ok()) return r;
    std::u16string units = DecodeUtf16BE(stored.data(), stored.size());
    if (!units.empty() && units[0] == u'\xFFFE')  // a reversed mark: little-endian units
      for (char16_t& unit : units) unit = char16_t(unit << 8 | unit >> 8);
    if (!units.empty() && units[0] == u'\xFEFF') units.erase(0, 1);
    units.resize(std::min(units.size(), units.find(u'\0')));
    if (!units.empty()) {
      text->wide = true;
      text->units = std::move(units);
      return {};
    }
  }
  Result r = ReadPart(profile, signature, kAsciiStart, std::min(ascii, kMaxShownTextBytes),
                      &stored);
  if (!r.ok()) return r;
  text->bytes = UpToZero(stored.data(), stored.size());
  return {};
}

}  // namespace

Result ReadStoredText(Profile& profile, uint32_t signature, const char language[2],
                      const char country[2], StoredText* text) {
  *text = StoredText();
  uint32_t size = 0;
  Result r = profile.GetTagSize(signature, &size);
  if (!r.ok()) return r;

  std::vector<uint8_t> head;
  r = ReadPart(profile, signature, 0, std::min<uint32_t>(size, kLocalizedHeaderSize), &head);
  if (!r.ok()) return r;
  if (head.size() < 8) return Invalid();
  const uint32_t type = LoadBE32(head.data());

  if (type == kLocalizedType) {
    if (head.size() < kLocalizedHeaderSize) return Invalid();
    return ReadLocalized(profile, signature, size, head.data(), language, country, text);
  }
  if (type == kDescriptionType) {
    if (head.size() < kAsciiStart) return Invalid();
    return ReadDescriptionRecord(profile, signature, size, LoadBE32(head.data() + kAsciiCount),
                                 text);
  }
  if (type != kTextType) return Invalid();
  std::vector<uint8_t> stored;
  r = ReadPart(profile, signature, kTextStart, std::min(size - kTextStart, kMaxShownTextBytes),
               &stored);
  if (!r.ok()) return r;
  text->bytes = UpToZero(stored.data(), stored.size());
  return {};
}

bool CreationDate(const uint8_t header[kHeaderSize], DateTime* date) {
  uint16_t f[6];
  for (int i = 0; i < 6; ++i) f[i] = uint16_t(header[24 + 2 * i] << 8 | header[25 + 2 * i]);
  static const uint8_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f[0] < 1601 || f[0] > 9999 || f[1] < 1 || f[1] > 12 || f[2] < 1 ||
      f[2] > kDays[f[1] - 1] || f[3] > 23 || f[4] > 59 || f[5] > 59)
    return false;
  const bool leap = (f[0] % 4 == 0 && f[0] % 100 != 0) || f[0] % 400 == 0;
  if (f[1] == 2 && f[2] == 29 && !leap) return false;
  *date = DateTime{f[0], f[1], f[2], f[3], f[4], f[5]};
  return true;
}

std::string VersionText(const uint8_t header[kHeaderSize]) {
  char text[16];
  const unsigned major = header[8], minor = header[9] >> 4, fix = header[9] & 0xF;
  if (fix)
    std::snprintf(text, sizeof text, "%u.%u.%u", major, minor, fix);
  else
    std::snprintf(text, sizeof text, "%u.%u", major, minor);
  return text;
}

Result CheckProfileId(Profile& profile, ProfileIdState* state) {
  uint8_t header[kHeaderSize];
  profile.GetHeader(header);
  if (!HasProfileId(header)) {
    *state = ProfileIdState::Absent;
    return {};
  }
  // The ID covers the profile as its size field gives it; a field past the file's end
  // cannot be right, and then the whole file is taken.
  uint64_t length = LoadBE32(header);
  if (length < kHeaderSize || length > profile.FileSize()) length = profile.FileSize();

  uint8_t zeroed[kHeaderSize];
  std::copy(header, header + kHeaderSize, zeroed);
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
    Result r = profile.ReadStored(at, chunk.data(), n);
    if (!r.ok()) return r;
    md5.Update(chunk.data(), n);
    at += n;
  }
  uint8_t digest[kProfileIdSize];
  md5.Final(digest);
  *state = std::equal(digest, digest + kProfileIdSize, header + kProfileIdOffset)
               ? ProfileIdState::Valid
               : ProfileIdState::Wrong;
  return {};
}

}  // namespace icc
