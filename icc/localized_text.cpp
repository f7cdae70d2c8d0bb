#include "localized_text.h"

#include <algorithm>
#include <cstring>

#include "icc_profile.h"

namespace icc {
namespace {

constexpr uint32_t kMluc = Signature("mluc");

template <typename Record>
int Choose(const std::vector<Record>& records, const char language[2], const char country[2]) {
  LocalizedChooser chooser(language, country);
  for (const Record& r : records)
    if (chooser.Meet(r.language, r.country)) break;
  return int(chooser.Chosen());
}

}  // namespace

bool IsLocalizedText(const uint8_t* tag, std::size_t size) {
  return size >= 4 && LoadBE32(tag) == kMluc;
}

LocalizedLayout LocalizedLayoutOf(const uint8_t header[kLocalizedHeaderSize], uint32_t tag_size) {
  LocalizedLayout layout;
  if (tag_size < kLocalizedHeaderSize) {
    layout.header_cut = true;
    layout.table_bytes = tag_size;
    return layout;
  }
  layout.count = LoadBE32(header + 8);
  layout.record_size = LoadBE32(header + 12);
  if (layout.record_size > kLocalizedRecordSize) layout.stride = layout.record_size;
  if (layout.count != 0)
    layout.table_end =
        kLocalizedHeaderSize + uint64_t(layout.count - 1) * layout.stride + kLocalizedRecordSize;
  layout.past_end = layout.count != 0 &&
                    (layout.record_size < kLocalizedRecordSize || layout.table_end > tag_size);
  // The first row starts right after the header and each further one a stride later.
  const uint32_t after_header = tag_size - uint32_t(kLocalizedHeaderSize);
  const uint64_t room = after_header < kLocalizedRecordSize
                            ? 0
                            : 1 + (after_header - kLocalizedRecordSize) / layout.stride;
  layout.rows = std::min<uint64_t>(layout.count, room);
  if (layout.rows != 0) layout.table_bytes = layout.RowAt(layout.rows - 1) + kLocalizedRecordSize;
  return layout;
}

std::size_t LocalizedTableBytes(const uint8_t header[kLocalizedHeaderSize], uint32_t tag_size) {
  return std::size_t(LocalizedLayoutOf(header, tag_size).table_bytes);
}

LocalizedRow LocalizedRowAt(const uint8_t row[kLocalizedRecordSize]) {
  LocalizedRow r;
  std::memcpy(r.language, row, 2);
  std::memcpy(r.country, row + 2, 2);
  r.length = LoadBE32(row + 4);
  r.offset = LoadBE32(row + 8);
  return r;
}

LocalizedEntry LocalizedEntryAt(const uint8_t row[kLocalizedRecordSize], uint32_t tag_size) {
  const LocalizedRow r = LocalizedRowAt(row);
  LocalizedEntry e;
  std::memcpy(e.language, r.language, 2);
  std::memcpy(e.country, r.country, 2);
  e.offset = r.offset > tag_size ? tag_size : r.offset;
  e.length = (r.length < tag_size - e.offset ? r.length : tag_size - e.offset) & ~1u;
  return e;
}

bool ParseLocalizedEntries(const uint8_t* bytes, std::size_t available, uint32_t tag_size,
                           std::vector<LocalizedEntry>* entries) {
  entries->clear();
  if (available > tag_size) available = tag_size;
  if (available < kLocalizedHeaderSize || !IsLocalizedText(bytes, available)) return false;
  // The rows inside the bytes given, each entry bounded by the whole tag.
  const LocalizedLayout layout = LocalizedLayoutOf(bytes, uint32_t(available));
  entries->reserve(std::size_t(layout.rows));
  for (uint64_t i = 0; i < layout.rows; ++i)
    entries->push_back(LocalizedEntryAt(bytes + layout.RowAt(i), tag_size));
  return true;
}

bool ParseLocalizedText(const uint8_t* tag, std::size_t size,
                        std::vector<LocalizedRecord>* records) {
  records->clear();
  std::vector<LocalizedEntry> entries;
  if (size > 0xFFFFFFFFu) size = 0xFFFFFFFFu;
  if (!ParseLocalizedEntries(tag, size, uint32_t(size), &entries)) return false;
  uint64_t text_bytes = 0;
  for (const LocalizedEntry& e : entries) text_bytes += e.length;
  if (text_bytes > uint64_t(size) + kLocalizedSharedTextLimit) return false;
  records->reserve(entries.size());
  for (const LocalizedEntry& e : entries) {
    LocalizedRecord r;
    std::memcpy(r.language, e.language, 2);
    std::memcpy(r.country, e.country, 2);
    r.text = DecodeUtf16BE(tag + e.offset, e.length);
    records->push_back(std::move(r));
  }
  return true;
}

int ChooseLocalizedRecord(const std::vector<LocalizedEntry>& entries, const char language[2],
                          const char country[2]) {
  return Choose(entries, language, country);
}

int ChooseLocalizedRecord(const std::vector<LocalizedRecord>& records, const char language[2],
                          const char country[2]) {
  return Choose(records, language, country);
}

std::vector<uint8_t> BuildLocalizedText(const std::vector<LocalizedRecord>& records) {
  std::size_t size = kLocalizedHeaderSize + records.size() * kLocalizedRecordSize;
  for (const LocalizedRecord& r : records) size += 2 * r.text.size();
  std::vector<uint8_t> tag(size);
  StoreBE32(tag.data(), kMluc);
  StoreBE32(tag.data() + 8, uint32_t(records.size()));
  StoreBE32(tag.data() + 12, kLocalizedRecordSize);
  std::size_t at = kLocalizedHeaderSize + records.size() * kLocalizedRecordSize;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const LocalizedRecord& r = records[i];
    uint8_t* row = tag.data() + kLocalizedHeaderSize + i * kLocalizedRecordSize;
    std::memcpy(row, r.language, 2);
    std::memcpy(row + 2, r.country, 2);
    StoreBE32(row + 4, uint32_t(2 * r.text.size()));
    StoreBE32(row + 8, uint32_t(at));
    for (char16_t unit : r.text) {
      tag[at++] = uint8_t(unit >> 8);
      tag[at++] = uint8_t(unit);
    }
  }
  return tag;
}

std::u16string DecodeUtf16BE(const uint8_t* bytes, std::size_t length) {
  std::u16string text(length / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = char16_t((uint16_t(bytes[2 * i]) << 8) | bytes[2 * i + 1]);
  return text;
}

}  // namespace icc
