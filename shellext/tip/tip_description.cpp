#include "tip_description.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "icc_profile.h"
#include "localized_text.h"

namespace hueshell {
namespace {

constexpr uint32_t kAsciiCountOffset = 8;
constexpr uint32_t kAsciiTextOffset = 12;

bool ReadExactly(TagBytes& tag, uint32_t offset, uint32_t count, std::vector<uint8_t>* bytes) {
  bytes->resize(count);
  uint32_t delivered = count;
  if (count != 0 && !tag.Read(offset, &delivered, bytes->data())) return false;
  bytes->resize(std::min(delivered, count));
  return true;
}

bool ReadAscii(TagBytes& tag, uint32_t tag_size, const uint8_t* head, TipDescription* out) {
  const uint32_t count = icc::LoadBE32(head + kAsciiCountOffset);
  const uint32_t available = tag_size - kAsciiTextOffset;
  const uint32_t want = std::min({count, available, kTipTextLimit});
  std::vector<uint8_t> bytes;
  if (!ReadExactly(tag, kAsciiTextOffset, want, &bytes)) return false;
  const auto zero = std::find(bytes.begin(), bytes.end(), uint8_t(0));
  out->ansi.assign(bytes.begin(), zero);
  // Only a read cut by the limit, not by the count or the tag, leaves text unread.
  out->cut = zero == bytes.end() && bytes.size() == kTipTextLimit && count > kTipTextLimit &&
             available > kTipTextLimit;
  return true;
}

bool ReadLocalized(TagBytes& tag, uint32_t tag_size, const uint8_t* head, const char language[2],
                   const char country[2], TipDescription* out) {
  out->wide = true;
  std::vector<uint8_t> table;
  if (!ReadExactly(tag, 0, uint32_t(icc::LocalizedTableBytes(head, tag_size)), &table))
    return false;
  std::vector<icc::LocalizedEntry> entries;
  if (!icc::ParseLocalizedEntries(table.data(), table.size(), tag_size, &entries)) return false;
  const int chosen = icc::ChooseLocalizedRecord(entries, language, country);
  if (chosen < 0) return true;
  const icc::LocalizedEntry& entry = entries[std::size_t(chosen)];
  std::vector<uint8_t> bytes;
  if (!ReadExactly(tag, entry.offset, std::min(entry.length, kTipTextLimit), &bytes)) return false;
  std::size_t units = 0;
  while (units < bytes.size() / 2 && (bytes[2 * units] | bytes[2 * units + 1]) != 0) ++units;
  out->text = icc::DecodeUtf16BE(bytes.data(), units * 2);
  out->cut = units * 2 == kTipTextLimit && entry.length > kTipTextLimit;
  return true;
}

bool IsControl(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

}  // namespace

bool ReadTipDescription(TagBytes& tag, const char language[2], const char country[2],
                        TipDescription* out) {
  *out = TipDescription();
  // One read tells the kind of record and gives what each kind needs first: the ASCII
  // count at offset 8 of a description record, the 16-byte header of localized records.
  const uint32_t tag_size = tag.Size();
  uint8_t head[icc::kLocalizedHeaderSize] = {};
  uint32_t delivered = sizeof head;
  if (tag_size < kAsciiTextOffset || !tag.Read(0, &delivered, head) ||
      delivered < kAsciiTextOffset)
    return false;
  if (icc::LoadBE32(head) == icc::Signature("mluc"))
    return delivered == sizeof head && ReadLocalized(tag, tag_size, head, language, country, out);
  return ReadAscii(tag, tag_size, head, out);
}

void FinishTipLine(std::u16string* text, bool cut) {
  if (cut && !text->empty() && text->back() >= 0xD800 && text->back() <= 0xDBFF)
    text->pop_back();  // half of a pair
  for (char16_t& c : *text)
    if (IsControl(c)) c = u' ';
  if (cut) text->append(u"...");
}

}  // namespace hueshell
