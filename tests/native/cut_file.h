// An edited file in memory whose writes take `budget` bytes in all (a write that needs more
// takes what is left and fails), after which every call fails, as on a lost share; or,
// `recovers`, only that one write fails.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "in_place_edit.h"

namespace testing_icc {

class CutFile : public icc::EditedFile {
 public:
  CutFile(std::vector<uint8_t> content, uint64_t budget, bool recovers)
      : bytes(std::move(content)), budget_(budget), recovers_(recovers) {}
  std::vector<uint8_t> bytes;

  icc::Result WriteAt(uint64_t offset, const void* data, std::size_t count) override {
    if (broken_) return icc::Result::Io(5);
    const std::size_t n = std::size_t(std::min<uint64_t>(count, budget_));
    if (bytes.size() < offset + n) bytes.resize(std::size_t(offset + n));
    std::copy_n(static_cast<const uint8_t*>(data), n, bytes.begin() + std::ptrdiff_t(offset));
    budget_ -= n;
    if (n == count) return {};
    broken_ = !recovers_;
    budget_ = uint64_t(-1);
    return icc::Result::Io(28);
  }
  icc::Result SetLength(uint64_t length) override {
    if (broken_) return icc::Result::Io(5);
    bytes.resize(std::size_t(length));
    return {};
  }
  icc::Result Flush() override { return broken_ ? icc::Result::Io(5) : icc::Result{}; }

 private:
  uint64_t budget_;
  bool recovers_;
  bool broken_ = false;
};

}  // namespace testing_icc
