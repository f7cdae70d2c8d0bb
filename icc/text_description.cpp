#include "text_description.h"

#include <algorithm>
#include <cstring>

#include "icc_profile.h"

namespace icc {

const char* TextDescriptionPartName(TextDescriptionLayout::Part part) {
  switch (part) {
    case TextDescriptionLayout::kAsciiCount: return "the ASCII count";
    case TextDescriptionLayout::kAsciiText: return "the ASCII text";
    case TextDescriptionLayout::kUnicodeText: return "the Unicode text";
    case TextDescriptionLayout::kWhole: break;
  }
  return "";
}

bool ReadTextDescriptionLayout(uint64_t size, const std::function<bool(uint64_t, uint32_t*)>& load,
                               TextDescriptionLayout* out) {
  *out = TextDescriptionLayout();
  auto short_of = [out](TextDescriptionLayout::Part part, uint64_t needed) {
    out->short_of = part;
    out->needed = needed;
    return true;
  };
  if (size < 12) return short_of(TextDescriptionLayout::kAsciiCount, 12);
  uint32_t count = 0;
  if (!load(8, &count)) return false;
  out->ascii_count = count;
  out->ascii_length = std::min<uint64_t>(count, size - 12);
  if (out->units_at() > size) return short_of(TextDescriptionLayout::kAsciiText, out->units_at());
  if (!load(16 + out->ascii_count, &count)) return false;
  out->unicode_inside = true;
  out->unicode_count = count;
  out->unicode_units = std::min<uint64_t>(count, (size - out->units_at()) / 2);
  if (out->script_at() > size) return short_of(TextDescriptionLayout::kUnicodeText, out->script_at());
  return true;
}

TextDescriptionLayout TextDescriptionLayoutOf(const uint8_t* tag, std::size_t size) {
  TextDescriptionLayout layout;
  ReadTextDescriptionLayout(size, [tag](uint64_t offset, uint32_t* value) {
    *value = LoadBE32(tag + offset);
    return true;
  }, &layout);
  return layout;
}

bool ParseTextDescription(const uint8_t* tag, std::size_t size, TextDescription* out) {
  const TextDescriptionLayout layout = TextDescriptionLayoutOf(tag, size);
  if (layout.short_of == TextDescriptionLayout::kAsciiCount) return false;
  const uint8_t* ascii = tag + TextDescriptionLayout::kAsciiAt;
  const std::size_t limit = std::size_t(layout.ascii_length);
  const void* zero = std::memchr(ascii, 0, limit);
  const std::size_t length = zero ? std::size_t(static_cast<const uint8_t*>(zero) - ascii) : limit;
  out->ascii.assign(reinterpret_cast<const char*>(ascii), length);
  out->unicode.clear();
  out->ascii_cut = layout.ascii_cut();
  out->unicode_cut = false;
  out->unicode_begin = out->unicode_end = 0;
  out->has_unicode = layout.unicode_count != 0;
  if (!out->has_unicode) return true;

  out->unicode_cut = layout.unicode_cut();
  out->unicode_begin = std::size_t(layout.unicode_at());
  out->unicode_end = std::size_t(layout.units_at() + 2 * layout.unicode_units);
  out->unicode = DecodeUnicodeRecord(tag + layout.units_at(), std::size_t(layout.unicode_units));
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
