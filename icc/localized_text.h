// The localized description record (ICC multiLocalizedUnicodeType, signature 'mluc'):
// a table of records, each a language, a country and a UTF-16BE string without terminator.
// Portable: it only interprets the bytes of a stored tag, never beyond its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace icc {

constexpr std::size_t kLocalizedHeaderSize = 16;
constexpr std::size_t kLocalizedRecordSize = 12;

struct LocalizedRecord {
  LocalizedRecord() = default;
  LocalizedRecord(const char* language_code, const char* country_code, std::u16string words)
      : language{language_code[0], language_code[1]},
        country{country_code[0], country_code[1]},
        text(std::move(words)) {}

  char language[2] = {};  // ISO 639-1, e.g. "en"
  char country[2] = {};   // ISO 3166-1, e.g. "US"
  std::u16string text;
};

// True when the stored tag is a localized record ('mluc').
bool IsLocalizedText(const uint8_t* tag, std::size_t size);

// Where the record table of a localized tag lies, as its header (the first 16 bytes) places
// it in a tag of `tag_size` bytes:
//   0 'mluc' | 4 reserved | 8 record count | 12 record size | 16 the rows, a record size
//   apart, each: language (2), country (2), string length, string offset in the tag.
// Every reader of the table (the whole tag's parse, the readers that take it a part at a
// time, the damage a description reports, the checker) takes its rows from here.
struct LocalizedLayout {
  bool header_cut = false;   // the tag is shorter than the header: no rows
  uint32_t count = 0;        // records the table says it holds
  uint32_t record_size = 0;  // as stored
  uint32_t stride = uint32_t(kLocalizedRecordSize);  // as rows are read: at least 12
  // Where the count's rows end (the last row needs its 12 bytes, not a whole stride), and
  // whether that is past the tag's end or the rows are shorter than 12 bytes.
  uint64_t table_end = kLocalizedHeaderSize;
  bool past_end = false;
  // The rows that lie inside the tag (the count, bounded by the tag's room), and the bytes
  // from the tag's start to the end of the last of them.
  uint64_t rows = 0;
  uint64_t table_bytes = kLocalizedHeaderSize;

  uint64_t RowAt(uint64_t i) const { return kLocalizedHeaderSize + i * stride; }
};
LocalizedLayout LocalizedLayoutOf(const uint8_t header[kLocalizedHeaderSize], uint32_t tag_size);

// One row of the table (its first 12 bytes) as stored.
struct LocalizedRow {
  char language[2];
  char country[2];
  uint32_t length;  // bytes
  uint32_t offset;  // from the tag's start
  // The string lies inside a tag of `tag_size` bytes and is of whole UTF-16 units.
  bool Fits(uint64_t tag_size) const {
    return length % 2 == 0 && uint64_t(offset) + length <= tag_size;
  }
};
LocalizedRow LocalizedRowAt(const uint8_t row[kLocalizedRecordSize]);

// Where one record's string lies, already bounded by the tag's size: a string that starts
// or runs past the end is cut at the end, and an odd byte count loses its last byte.
struct LocalizedEntry {
  char language[2];
  char country[2];
  uint32_t offset;
  uint32_t length;  // bytes, even
};

// One row of the table (its first 12 bytes) as an entry bounded by the tag's size.
LocalizedEntry LocalizedEntryAt(const uint8_t row[kLocalizedRecordSize], uint32_t tag_size);

// Reads the record table from the first `available` bytes of a tag of `tag_size` bytes.
// The number of records is bounded by the room the table has in the tag (and in the
// bytes given).  Fails only when the tag is not 'mluc' or is too short for its header.
bool ParseLocalizedEntries(const uint8_t* bytes, std::size_t available, uint32_t tag_size,
                           std::vector<LocalizedEntry>* entries);

// Bytes of the table part that ParseLocalizedEntries needs for a tag whose header (the
// first 16 bytes) is given: LocalizedLayout's table_bytes (the tag's size when it is
// shorter than the header).
std::size_t LocalizedTableBytes(const uint8_t header[kLocalizedHeaderSize], uint32_t tag_size);

// Records may share a string, but a table whose strings add up to more than the tag's size
// and this much is damaged: decoding it would multiply the tag's size in memory.
constexpr std::size_t kLocalizedSharedTextLimit = 1 << 20;

// The whole tag: every record with its text.  Fails when the tag is not 'mluc', is too short
// for its header, or its strings add up to more than its size and the limit above.
bool ParseLocalizedText(const uint8_t* tag, std::size_t size,
                        std::vector<LocalizedRecord>* records);

// The record to show: the one for the language and country asked for, else the first with
// that language, else en-US, else the first.  -1 when there are no records.
int ChooseLocalizedRecord(const std::vector<LocalizedEntry>& entries, const char language[2],
                          const char country[2]);
int ChooseLocalizedRecord(const std::vector<LocalizedRecord>& records, const char language[2],
                          const char country[2]);

// ChooseLocalizedRecord's rule over records met one at a time, in stored order, so that a
// table can be chosen from while it is read a part at a time: every reader that shows a
// record chooses it from the whole table, whatever it reads of the texts.
class LocalizedChooser {
 public:
  LocalizedChooser(const char language[2], const char country[2])
      : language_{language[0], language[1]}, country_{country[0], country[1]} {}
  // Meets the next record; true once no later record can change the choice.  (Inline: a
  // table of millions of rows is met one row at a time.)
  bool Meet(const char language[2], const char country[2]) {
    const int64_t i = met_++;
    const bool same_language = language[0] == language_[0] && language[1] == language_[1];
    if (same_language && country[0] == country_[0] && country[1] == country_[1]) {
      exact_ = i;
      return true;
    }
    if (same_language && same_language_ < 0) same_language_ = i;
    if (english_ < 0 && language[0] == 'e' && language[1] == 'n' && country[0] == 'U' &&
        country[1] == 'S')
      english_ = i;
    return false;
  }
  // The index of the record chosen among those met; -1 before the first.
  int64_t Chosen() const {
    if (exact_ >= 0) return exact_;
    if (same_language_ >= 0) return same_language_;
    if (english_ >= 0) return english_;
    return met_ > 0 ? 0 : -1;
  }

 private:
  char language_[2], country_[2];
  int64_t met_ = 0, exact_ = -1, same_language_ = -1, english_ = -1;
};

// A stored tag holding the records in order, their strings one after the other.
std::vector<uint8_t> BuildLocalizedText(const std::vector<LocalizedRecord>& records);

std::u16string DecodeUtf16BE(const uint8_t* bytes, std::size_t length);

}  // namespace icc
