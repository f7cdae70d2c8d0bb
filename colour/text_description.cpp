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

  // The Unicode count sits right after the c ASCII bytes and the 4-byte language code.
  out->has_unicode = count <= available && available - count >= 8 &&
                     LoadBE32(tag + 16 + std::size_t(count)) != 0;
  return true;
}

}  // namespace icc
