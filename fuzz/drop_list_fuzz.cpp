// Feeds arbitrary bytes to the drop-list reader as the memory block of a CF_HDROP medium.
// It must stay inside the block, hand over names without zeros, in order and without
// overlap, and accept a list only when the list's final zero lies inside the block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "drop_list.h"
#include "fuzz_check.h"

namespace {

class Checker final : public hueshell::DropListVisitor {
 public:
  Checker(const uint8_t* block, std::size_t size) : block_(block), end_(block + size) {}

  bool Name(const uint8_t* name, std::size_t units, bool wide) override {
    const std::size_t width = wide ? 2 : 1;
    CHECK(units != 0);
    CHECK(name >= next_ && name + (units + 1) * width <= end_);  // its terminator included
    for (std::size_t i = 0; i < units; ++i) {
      const uint8_t* unit = name + i * width;
      CHECK(wide ? (unit[0] | unit[1]) != 0 : unit[0] != 0);
    }
    CHECK(wide ? (name[units * 2] | name[units * 2 + 1]) == 0 : name[units] == 0);
    next_ = name + (units + 1) * width;
    ++names;
    return names < stop_after;
  }

  std::size_t names = 0;
  std::size_t stop_after = SIZE_MAX;

 private:
  const uint8_t* block_;
  const uint8_t* end_;
  const uint8_t* next_ = block_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Exactly the block's bytes, so that AddressSanitizer sees any read past them.
  const std::vector<uint8_t> block(data, data + size);
  Checker all(block.data(), size);
  const bool ok = hueshell::ReadDropList(block.data(), size, all);
  if (size < hueshell::kDropFilesSize) CHECK(!ok && all.names == 0);
  if (!ok || all.names == 0) return 0;

  // A visitor that stops makes the reading fail, after exactly the names it took.
  Checker first(block.data(), size);
  first.stop_after = 1;
  CHECK(!hueshell::ReadDropList(block.data(), size, first) && first.names == 1);
  return 0;
}
