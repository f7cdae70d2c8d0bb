// Builds small ICC profiles in memory for tests: a header, a tag table and tag data placed
// exactly where the test says, so that every layout can be exercised.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "icc_profile.h"

namespace testing_icc {

struct Tag {
  std::string signature;       // four characters
  std::vector<uint8_t> bytes;  // the tag's data
  uint32_t offset = 0;         // 0: placed after the previous tag, on a 4-byte boundary
  uint32_t size = 0;           // 0: the size of `bytes`
};

// A profile whose tags lie at the given offsets; the file's length is the end of the last
// tag rounded up to 4 unless `length` says otherwise.  The header's size field holds the
// file's length.
std::vector<uint8_t> BuildProfile(const std::vector<Tag>& tags, uint32_t length = 0);

std::vector<uint8_t> Bytes(const std::string& text);
std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed);

// A textDescriptionType tag as the editor writes it.
std::vector<uint8_t> DescTag(const std::string& ascii, bool unicode);

// A printer profile of `inputs` channels (CMYK for 4) whose A2B0 is a lut16 table to XYZ
// with `grid` points a side, each output following one input.  `declared` > 0 puts that
// grid in the table's header instead: a table that claims more than it holds.
std::vector<uint8_t> LutProfile(int inputs, int grid, int declared = 0);

// A version 4 profile whose A2B0 is a lutAtoB table to XYZ without a colour grid: gamma
// curves (the M curves), a matrix with offsets and identity tables (the B curves), of sRGB's
// primaries or, with `ycc`, of their BT.601 YCbCr ('YCbr', linear).  The gamma curves lie
// last in the tag, whose size leaves out the padding after the last one.
std::vector<uint8_t> CurveMatrixProfile(bool ycc);
// A version 5 monitor profile whose one transform is an 'mpet' A2B1 (a matrix element).
std::vector<uint8_t> Version5Profile();

// Every tag of a profile file by signature, as its table row gives it.  Throws when a row
// points outside the file.
std::map<std::string, std::vector<uint8_t>> TagsOf(const std::vector<uint8_t>& file);

using icc::MemorySink;

// A file in memory that counts the bytes read from it.
class MemoryFile : public icc::SourceFile {
 public:
  explicit MemoryFile(std::vector<uint8_t> bytes, uint64_t* bytes_read = nullptr)
      : bytes_(std::move(bytes)), bytes_read_(bytes_read) {}
  uint64_t Size() const override { return bytes_.size(); }
  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::vector<uint8_t> bytes_;
  uint64_t* bytes_read_;
};

// A whole file, read or written; a failure throws.
std::vector<uint8_t> FileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace testing_icc
