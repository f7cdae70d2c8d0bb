#include "profile_names.h"

#include <cstddef>

namespace icc {
namespace {

struct NameRow {
  uint32_t value;
  const char* text;
};

const char kUnknown[] = "Unknown";

const NameRow kClassNames[] = {
    {0x61627374, "Abstract"}, {0x6C696E6B, "Link"},    {0x6D6E7472, "Monitor"},
    {0x6E6D636C, "Named"},    {0x70727472, "Printer"}, {0x73636E72, "Scanner"},
    {0x73706163, "Color Space"},
};

const NameRow kColourSpaceNames[] = {
    {0x58595A20, "XYZ"},
    {0x4C616220, "Lab"},
    {0x4C757620, "Luv"},
    {0x59436272, "YCbCr"},
    {0x59787920, "Yxy"},
    {0x52474220, "RGB"},
    {0x47524159, "Gray Scale"},
    {0x48535620, "HSV"},
    {0x484C5320, "HLS"},
    {0x434D594B, "CMYK"},
    {0x434D5920, "CMY"},
    {0x32434C52, "Generic 2 channel"},
    {0x33434C52, "Generic 3 channel"},
    {0x34434C52, "Generic 4 channel"},
    {0x35434C52, "Generic 5 channel"},
    {0x36434C52, "Generic 6 channel"},
    {0x37434C52, "Generic 7 channel"},
    {0x38434C52, "Generic 8 channel"},
};

const NameRow kVersion5ClassNames[] = {
    {0x63656E63, "Color Encoding"},        {0x6D696420, "Material Identification"},
    {0x6D6C6E6B, "Material Link"},         {0x6D766973, "Material Visualization"},
};

const NameRow kWideSpaceNames[] = {
    {0x39434C52, "Generic 9 channel"},  {0x41434C52, "Generic 10 channel"},
    {0x42434C52, "Generic 11 channel"}, {0x43434C52, "Generic 12 channel"},
    {0x44434C52, "Generic 13 channel"}, {0x45434C52, "Generic 14 channel"},
    {0x46434C52, "Generic 15 channel"},
};

const NameRow kConnectionSpaceNames[] = {{0x4C616220, "Lab"}, {0x58595A20, "XYZ"}};

const NameRow kIntentNames[] = {
    {0, "Perceptual"}, {1, "Relative Colorimetric"}, {2, "Saturation"}, {3, "Absolute Colorimetric"},
};

template <std::size_t N>
const char* Lookup(const NameRow (&rows)[N], uint32_t value) {
  for (const NameRow& row : rows)
    if (row.value == value) return row.text;
  return kUnknown;
}

}  // namespace

const char* DeviceClassName(uint32_t signature) { return Lookup(kClassNames, signature); }
const char* ColourSpaceName(uint32_t signature) { return Lookup(kColourSpaceNames, signature); }
const char* ConnectionSpaceName(uint32_t signature) {
  return Lookup(kConnectionSpaceNames, signature);
}
const char* IntentName(uint32_t intent) { return Lookup(kIntentNames, intent); }

const char* AnyDeviceClassName(uint32_t signature) {
  const char* name = DeviceClassName(signature);
  return name != kUnknown ? name : Lookup(kVersion5ClassNames, signature);
}

const char* AnyColourSpaceName(uint32_t signature) {
  const char* name = ColourSpaceName(signature);
  return name != kUnknown ? name : Lookup(kWideSpaceNames, signature);
}

}  // namespace icc
