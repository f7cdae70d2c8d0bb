#include "profile_header.h"

#include <cstdio>
#include <cstring>

#include "icc_profile.h"

namespace icc {

Header::Header(const uint8_t stored[kHeaderSize]) {
  std::memcpy(bytes_, stored, kHeaderSize);
  const uint8_t* h = bytes_;
  size_ = LoadBE32(h);
  cmm_ = LoadBE32(h + 4);
  major_ = h[8];
  minor_ = h[9] >> 4;
  fix_ = h[9] & 0xFu;
  device_class_ = LoadBE32(h + 12);
  colour_space_ = LoadBE32(h + 16);
  connection_space_ = LoadBE32(h + 20);
  date_ = {LoadBE16(h + 24), LoadBE16(h + 26), LoadBE16(h + 28),
           LoadBE16(h + 30), LoadBE16(h + 32), LoadBE16(h + 34)};
  magic_ = LoadBE32(h + 36);
  platform_ = LoadBE32(h + 40);
  flags_ = LoadBE32(h + 44);
  manufacturer_ = LoadBE32(h + 48);
  model_ = LoadBE32(h + 52);
  attributes_ = uint64_t(LoadBE32(h + 56)) << 32 | LoadBE32(h + 60);
  intent_ = LoadBE32(h + 64);
  illuminant_ = {LoadS15Fixed16(h + 68), LoadS15Fixed16(h + 72), LoadS15Fixed16(h + 76)};
  creator_ = LoadBE32(h + 80);
}

bool CreationDate(const Header& header, DateTime* date) {
  const DateTime& d = header.date();
  static const uint8_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1601 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > kDays[d.month - 1] || d.hour > 23 || d.minute > 59 || d.second > 59)
    return false;
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  if (d.month == 2 && d.day == 29 && !leap) return false;
  *date = d;
  return true;
}

std::string VersionText(const Header& header) {
  char text[16];
  if (header.version_fix())
    std::snprintf(text, sizeof text, "%u.%u.%u", header.version_major(), header.version_minor(),
                  header.version_fix());
  else
    std::snprintf(text, sizeof text, "%u.%u", header.version_major(), header.version_minor());
  return text;
}

bool HasProfileId(const Header& header) {
  if (header.version_major() < 4) return false;  // the field is reserved before version 4
  for (std::size_t i = 0; i < kProfileIdSize; ++i)
    if (header.id()[i] != 0) return true;
  return false;
}

}  // namespace icc
