// The 128-byte profile header, decoded once into its fields.  Every reader of a header field
// asks this type; the bytes as stored stay with it for the writers and hashes that need them.
// Portable C++: no platform headers.  The colour service's host-order record is built from
// it, and back, in the Windows layer (colour_service.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace icc {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kProfileIdOffset = 84;
constexpr std::size_t kProfileIdSize = 16;

struct Xyz {
  double X, Y, Z;
};

// A date and time as the header stores it (UTC), whether or not it is one.
struct DateTime {
  uint16_t year, month, day, hour, minute, second;
};

class Header {
 public:
  Header() = default;  // all zero
  explicit Header(const uint8_t stored[kHeaderSize]);

  uint32_t size() const { return size_; }  // the size field, bytes 0 to 3
  uint32_t cmm() const { return cmm_; }
  unsigned version_major() const { return major_; }
  unsigned version_minor() const { return minor_; }
  unsigned version_fix() const { return fix_; }  // the bug-fix number
  uint32_t device_class() const { return device_class_; }
  uint32_t colour_space() const { return colour_space_; }
  uint32_t connection_space() const { return connection_space_; }
  const DateTime& date() const { return date_; }  // as stored: see CreationDate
  uint32_t magic() const { return magic_; }       // 'acsp' in a profile
  uint32_t platform() const { return platform_; }
  uint32_t flags() const { return flags_; }
  uint32_t manufacturer() const { return manufacturer_; }
  uint32_t model() const { return model_; }
  uint64_t attributes() const { return attributes_; }
  uint32_t intent() const { return intent_; }
  const Xyz& illuminant() const { return illuminant_; }
  uint32_t creator() const { return creator_; }
  const uint8_t* id() const { return bytes_ + kProfileIdOffset; }  // kProfileIdSize bytes
  // All 128 bytes as stored, for what must keep them as they are.
  const uint8_t* bytes() const { return bytes_; }

 private:
  uint8_t bytes_[kHeaderSize] = {};
  uint32_t size_ = 0, cmm_ = 0;
  unsigned major_ = 0, minor_ = 0, fix_ = 0;
  uint32_t device_class_ = 0, colour_space_ = 0, connection_space_ = 0;
  DateTime date_ = {};
  uint32_t magic_ = 0, platform_ = 0, flags_ = 0, manufacturer_ = 0, model_ = 0;
  uint64_t attributes_ = 0;
  uint32_t intent_ = 0;
  Xyz illuminant_ = {};
  uint32_t creator_ = 0;
};

// The header's creation date and time; false when the fields are not a date.
bool CreationDate(const Header& header, DateTime* date);

// "2.1", "4.3", "4.2.1": the major and minor version and, when not 0, the bug-fix number.
std::string VersionText(const Header& header);

// Whether a header carries a profile ID: from version 4 on, a field that is not all zero.
bool HasProfileId(const Header& header);

}  // namespace icc
