// MD5 (RFC 1321), as ICC version 4 profiles use it for their profile ID.
#pragma once

#include <cstddef>
#include <cstdint>

namespace icc {

class Md5 {
 public:
  Md5();
  void Update(const void* data, std::size_t count);
  void Final(uint8_t digest[16]);

 private:
  void Block(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes so far
  uint8_t buffer_[64];
};

}  // namespace icc
