#include "text_description.h"

#include <cstring>

#include "icc_profile.h"

namespace icc {

bool ParseTextDescription(const uint8_t* tag, std::size_t size, TextDescription* out) {
  if (size < 12) return false;
  const uint32_t count = LoadBE32(tag + 8);
  const std::size_t available = size - 12;
  const std::size_t limit = count < available ? count : available;
  const void* zero = std::memchr(tag + 12, 0, limit);
  const std::size_t length =
      zero ? std::size_t(static_cast<const uint8_t*>(zero) - (tag + 12)) : limit;
  out->ascii.assign(reinterpret_cast<const char*>(tag + 12), length);
  out->unicode.clear();
  out->ascii_cut = count > available;
  out->unicode_cut = false;
  out->unicode_begin = out->unicode_end = 0;

  // The Unicode count sits right after the c ASCII bytes and the 4-byte language code.
  out->has_unicode = count <= available && available - count >= 8 &&
                     LoadBE32(tag + 16 + std::size_t(count)) != 0;
  if (!out->has_unicode) return true;

  const std::size_t room = (available - count - 8) / 2;
  const uint32_t stated = LoadBE32(tag + 16 + std::size_t(count));
  const std::size_t total = stated < room ? stated : room;
  out->unicode_cut = stated > room;
  out->unicode_begin = 12 + std::size_t(count);
  out->unicode_end = out->unicode_begin + 8 + 2 * total;
  out->unicode = DecodeUnicodeRecord(tag + 20 + std::size_t(count), total);
  return true;
}

std::u16string DecodeUnicodeRecord(const uint8_t* units, std::size_t count) {
  std::u16string text;
  std::size_t i = 0;
  bool little = false;
  if (count > 0 && ((units[0] == 0xFE && units[1] == 0xFF) || (units[0] == 0xFF && units[1] == 0xFE))) {
    little = units[0] == 0xFF;
    i = 1;
  }
  for (; i < count; ++i) {
    const uint8_t* p = units + 2 * i;
    const char16_t unit = little ? char16_t(p[1] << 8 | p[0]) : char16_t(p[0] << 8 | p[1]);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

}  // namespace icc
