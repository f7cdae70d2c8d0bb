// The facts a preview shows of a profile beyond its texts: the tag table with each tag's
// type and whether its bytes are shared, the media white point as XYZ, chromaticity and
// correlated colour temperature, and signatures as text.  Portable: the tag table is read
// from the container, the white point from its 20-byte tag, nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "icc_profile.h"

namespace icc {

struct TagRow {
  uint32_t signature;
  uint32_t type;  // the first four bytes of the tag; 0 when the tag is shorter
  uint32_t offset;
  uint32_t size;
  bool shared;  // another row names some of the same bytes
};

// Every row of the tag table in stored order, with the first four bytes of each tag.
Result ReadTagTable(Profile& profile, std::vector<TagRow>* rows);

// Reads an XYZType tag with one value ('wtpt', 'rXYZ'...).  TagNotFound without the tag,
// InvalidProfile when it is of another type or too short.
Result ReadXyzTag(Profile& profile, uint32_t signature, Xyz* xyz);

// CIE 1931 x, y of `xyz`; false when X + Y + Z is not positive.
bool Chromaticity(const Xyz& xyz, double* x, double* y);

// Correlated colour temperature in kelvin of the chromaticity x, y (Robertson's method over
// the isotemperature lines from 1,667 K upwards); 0 when the point lies beyond the lines.
double CorrelatedColourTemperature(double x, double y);

// "mntr"; a signature with bytes that are not printable ASCII as 0x6D6E7400; "none" for 0.
std::string SignatureText(uint32_t signature);

}  // namespace icc
