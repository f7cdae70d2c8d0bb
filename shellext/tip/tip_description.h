// The description line of the info tip, read from the profile's `desc` tag a bounded range
// at a time.  Portable: no platform headers, so that it is unit-tested and fuzzed natively.
//
// Whatever the tag's size or the counts it claims, at most kTipTextLimit bytes of text are
// read: the cost of a tip is flat in the size of the profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hueshell {

constexpr uint32_t kTipTextLimit = 64 * 1024;

// The stored bytes of the tag, read through the colour service.
class TagBytes {
 public:
  virtual ~TagBytes() = default;
  // The tag's real size.
  virtual uint32_t Size() = 0;
  // Copies up to *count bytes from `offset` into `buffer`; *count becomes the number
  // delivered.  False when the bytes cannot be had.
  virtual bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) = 0;
};

struct TipDescription {
  bool wide = false;     // a localized record: `text` holds it, else `ansi` does
  std::string ansi;      // the description record's ASCII text, in the ANSI code page
  std::u16string text;   // the chosen localized record's text
  bool cut = false;      // the text goes on past the limit
};

// A description record gives its ASCII text (count at offset 8, text from 12, up to the
// first zero); a localized record ('mluc') the record for the language and country given,
// else the first with that language, else en-US, else the first.  False when the tag is
// absent, too short or unreadable.
bool ReadTipDescription(TagBytes& tag, const char language[2], const char country[2],
                        TipDescription* out);

// The text as the tip shows it: every control character (line breaks included, so that no
// description can forge a line of its own) becomes a space, and a cut text ends with "...".
void FinishTipLine(std::u16string* text, bool cut);

}  // namespace hueshell
