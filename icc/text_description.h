// The description record (ICC textDescriptionType, signature 'desc') as readers see it.
// Portable: it only interprets the bytes of a stored tag, never beyond its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace icc {

struct TextDescription {
  std::string ascii;         // the ASCII description, without its terminating zero
  bool has_unicode = false;  // the Unicode count that follows the ASCII part is not 0
  std::u16string unicode;    // the Unicode description, without mark and terminator
  // Where the Unicode record (language code, count, units) lies in the tag: [begin, end).
  std::size_t unicode_begin = 0, unicode_end = 0;
  // A count runs past the end of the tag: the record holds less than it says.
  bool ascii_cut = false, unicode_cut = false;
};

// Takes the ASCII count c at offset 8, the text from offset 12 up to its first zero byte
// (at most c bytes, and never past the tag) and the Unicode count at offset 16 + c.
// A damaged tag gives what lies inside it: a count past the end shortens the text, and a
// Unicode count that would lie outside the tag counts as 0.  Only a tag too short to hold
// the ASCII count (fewer than 12 bytes) is refused.
// The Unicode text is the count's units from offset 20 + c, as many as the tag holds, up to
// the first U+0000 (see DecodeUnicodeRecord).
bool ParseTextDescription(const uint8_t* tag, std::size_t size, TextDescription* out);

// `count` stored units of a Unicode record, up to the first U+0000.  A leading byte-order
// mark is dropped; a reversed one (FF FE) means the units are little-endian.
std::u16string DecodeUnicodeRecord(const uint8_t* units, std::size_t count);

}  // namespace icc
