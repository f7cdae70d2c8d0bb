// Words for the header fields that people read: device class, colour space, connection
// space and rendering intent.  One table for every program that shows them (the info tip,
// the command-line tool).  Signatures are the header's numbers in host order, whose
// big-endian bytes are the four characters ('mntr' is 0x6D6E7472).
#pragma once

#include <cstdint>

namespace icc {

// "Unknown" for a value the tables do not hold.
const char* DeviceClassName(uint32_t signature);      // "Monitor", "Printer", ...
const char* ColourSpaceName(uint32_t signature);      // "RGB", "CMYK", "Gray Scale", ...
const char* ConnectionSpaceName(uint32_t signature);  // "Lab" or "XYZ"
const char* IntentName(uint32_t intent);              // "Perceptual", ...

// The names above and those the info tip leaves "Unknown": the version 5 classes ("Color
// Encoding", "Material Identification", ...) and 9 to 15 channels ("Generic 15 channel").
// For what a profile is as a whole (tagwright-cli show, the profile doctor).
const char* AnyDeviceClassName(uint32_t signature);
const char* AnyColourSpaceName(uint32_t signature);

}  // namespace icc
