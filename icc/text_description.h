// The description record (ICC textDescriptionType, signature 'desc') as readers see it.
// Portable: it only interprets the bytes of a stored tag, never beyond its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace icc {

// Where the parts of a description record lie, as its two counts place them:
//   0 'desc' | 4 reserved | 8 ASCII count c | 12 c bytes, the ASCII text and its zero |
//   12+c Unicode language code | 16+c Unicode count u | 20+c u UTF-16 units |
//   20+c+2u ScriptCode code (2 bytes), count (1 byte) and its 67 bytes.
// Every reader of the record (the whole tag's parse, the bounded reader, the checker, the
// ScriptCode repair) takes its offsets from here; places are 64-bit, so no count overflows.
struct TextDescriptionLayout {
  // The first part the tag is too short for (and every part after it): the ASCII count
  // (a tag under 12 bytes), the ASCII text (with the language code and Unicode count after
  // it, 20 + c bytes) or the Unicode text (20 + c + 2u bytes).  The ScriptCode field's
  // length is not judged here.
  enum Part { kWhole, kAsciiCount, kAsciiText, kUnicodeText };
  Part short_of = kWhole;
  uint64_t needed = 0;  // bytes the tag would need for that part

  uint64_t ascii_count = 0;    // c
  uint64_t ascii_length = 0;   // of the c bytes, those inside the tag
  bool unicode_inside = false;  // the language code and the Unicode count lie inside the tag
  uint64_t unicode_count = 0;  // u; 0 when it does not lie inside the tag
  uint64_t unicode_units = 0;  // of the u units, those inside the tag

  static constexpr uint64_t kAsciiAt = 12;
  uint64_t unicode_at() const { return 12 + ascii_count; }  // the language code
  uint64_t units_at() const { return 20 + ascii_count; }
  uint64_t script_at() const { return 20 + ascii_count + 2 * unicode_count; }
  bool ascii_cut() const { return ascii_length < ascii_count; }
  bool unicode_cut() const { return unicode_units < unicode_count; }
};
// "the ASCII count", "the ASCII text", "the Unicode text": the part a record is short of.
const char* TextDescriptionPartName(TextDescriptionLayout::Part part);

// The layout of a description record of `size` bytes.  `load` gives the big-endian 32-bit
// number at an offset inside the tag (it is asked for the ASCII count at 8 and, when the
// ASCII part fits, the Unicode count at 16 + c); false when it cannot be read, which is
// returned.
bool ReadTextDescriptionLayout(uint64_t size, const std::function<bool(uint64_t, uint32_t*)>& load,
                               TextDescriptionLayout* out);
// The same over the tag's bytes in memory.
TextDescriptionLayout TextDescriptionLayoutOf(const uint8_t* tag, std::size_t size);

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
