// The shell's drop list (CF_HDROP), read from its memory block in one pass.  Portable: no
// platform headers, so that it is unit-tested and fuzzed natively.
//
// The block starts with a DROPFILES record (little-endian): the offset of the names (4
// bytes), a point (8), a non-client flag (4) and a wide flag (4).  The names follow at that
// offset, each ended by a zero character (a byte, or a 16-bit unit when the list is wide),
// and one more zero ends the list.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hueshell {

constexpr std::size_t kDropFilesSize = 20;

// Receives the names in list order: `units` characters from `name` (bytes, or 16-bit units
// stored little-endian when `wide`), without their terminator.  Empty names are passed too.
class DropListVisitor {
 public:
  virtual ~DropListVisitor() = default;
  // False stops the reading, which then fails.
  virtual bool Name(const uint8_t* name, std::size_t units, bool wide) = 0;
};

// Reads the list in the first `size` bytes of `block` (the real size of its memory).  False,
// possibly after some names were visited, when the record or the list does not end inside
// the block, or when the visitor stops.
bool ReadDropList(const uint8_t* block, std::size_t size, DropListVisitor& visitor);

}  // namespace hueshell
