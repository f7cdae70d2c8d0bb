#include "utf8.h"

#include <cstdint>

namespace icc {

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The length of the UTF-8 sequence at text[i] and its character in *c; 0 for a byte that
// starts no sequence, or a broken one.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, uint32_t* c) {
  const uint8_t b = uint8_t(text[i]);
  const int extra = b < 0x80 ? 0 : b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : -1;
  if (extra < 0 || text.size() - i <= std::size_t(extra)) return 0;
  *c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
  for (int k = 1; k <= extra; ++k) {
    const uint8_t next = uint8_t(text[i + std::size_t(k)]);
    if ((next & 0xC0) != 0x80) return 0;
    *c = *c << 6 | (next & 0x3F);
  }
  const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
  if (*c < least[extra] || *c > 0x10FFFF || (*c >= 0xD800 && *c < 0xE000)) return 0;
  return std::size_t(extra) + 1;
}

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    uint32_t c = 0;
    const std::size_t length = DecodeUtf8(text, i, &c);
    if (length == 0) {
      out += char16_t(0xFFFD);  // a byte that starts no sequence, or a broken one
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
    i += length;
  }
  return out;
}

bool IsUtf8(const std::string& text) {
  uint32_t c;
  for (std::size_t i = 0, length; i < text.size(); i += length)
    if ((length = DecodeUtf8(text, i, &c)) == 0) return false;
  return true;
}

std::u16string FromAscii(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace icc
