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
};

// Takes the ASCII count c at offset 8, the text from offset 12 up to its first zero byte
// (at most c bytes, and never past the tag) and the Unicode count at offset 16 + c.
// A damaged tag gives what lies inside it: a count past the end shortens the text, and a
// Unicode count that would lie outside the tag counts as 0.  Only a tag too short to hold
// the ASCII count (fewer than 12 bytes) is refused.
// The Unicode text is the count's units from offset 20 + c, as many as the tag holds, up to
// the first U+0000.  A leading byte-order mark is dropped; a reversed one (FF FE) means the
// units are little-endian.
bool ParseTextDescription(const uint8_t* tag, std::size_t size, TextDescription* out);

}  // namespace icc
