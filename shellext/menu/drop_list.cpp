#include "drop_list.h"

#include <cstring>

namespace hueshell {
namespace {

uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool ReadDropList(const uint8_t* block, std::size_t size, DropListVisitor& visitor) {
  if (!block || size < kDropFilesSize) return false;
  const std::size_t offset = LoadLE32(block);
  const bool wide = LoadLE32(block + 16) != 0;
  if (offset < kDropFilesSize || offset > size) return false;
  const uint8_t* p = block + offset;
  const uint8_t* const end = block + size;
  if (!wide) {
    for (;;) {
      const auto* zero = static_cast<const uint8_t*>(std::memchr(p, 0, std::size_t(end - p)));
      if (!zero) return false;
      if (zero == p) return true;  // the empty name that ends the list
      if (!visitor.Name(p, std::size_t(zero - p), false)) return false;
      p = zero + 1;
    }
  }
  for (;;) {
    const uint8_t* q = p;
    while (end - q >= 2 && (q[0] | q[1]) != 0) q += 2;
    if (end - q < 2) return false;
    if (q == p) return true;
    if (!visitor.Name(p, std::size_t(q - p) / 2, true)) return false;
    p = q + 2;
  }
}

}  // namespace hueshell
