// What a file browser shows of a profile beside its description: header fields, the
// creation date, the copyright and device texts, and the state of the profile ID.
// Portable: everything is read through the container, and only the bytes needed: the
// header, the tag table and the tags shown, each bounded, so that the cost of reading does
// not grow with the profile's size.  Only the profile ID check reads the whole profile.
#pragma once

#include <cstdint>
#include <string>

#include "icc_profile.h"

namespace icc {

// Shown texts stop here (bytes of a stored text): no browser column needs more, and a
// damaged or hostile tag cannot make a reader allocate what the tag claims.
constexpr uint32_t kMaxShownTextBytes = 64 * 1024;

// The text of a text-bearing tag, as stored: 8-bit bytes for textType and the ASCII record
// of a description record (the platform's code page gives their characters), UTF-16 for a
// localized record and for a description record's Unicode record.
struct StoredText {
  bool wide = false;
  std::string bytes;     // !wide: up to the first zero byte
  std::u16string units;  // wide: up to the first U+0000
};

// Reads the text of tag `signature`: textType ('text'), a description record ('desc': its
// Unicode record when that holds text, which keeps what a code page cannot, else its ASCII
// record), or the record of a localized tag ('mluc') chosen for the language and
// country as the description's is.  TagNotFound when there is no such tag, InvalidProfile
// when the tag is of another type or too short for its own header.
Result ReadStoredText(Profile& profile, uint32_t signature, const char language[2],
                      const char country[2], StoredText* text);

// The header's creation date and time (UTC); false when the fields are not a date.
struct DateTime {
  uint16_t year, month, day, hour, minute, second;
};
bool CreationDate(const uint8_t header[kHeaderSize], DateTime* date);

// "2.1", "4.3", "4.2.1": the major and minor version and, when not 0, the bug-fix number.
std::string VersionText(const uint8_t header[kHeaderSize]);

enum class ProfileIdState {
  Absent,  // before version 4 the field is reserved; from version 4 on, all zero
  Valid,   // the MD5 of the profile, taken as the format says
  Wrong,
};
// Reads the whole profile (the first `size field` bytes when that is within the file) once.
Result CheckProfileId(Profile& profile, ProfileIdState* state);

}  // namespace icc
