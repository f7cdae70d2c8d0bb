#include "footprint.h"

#include <cstdint>

namespace testing_icc {

Footprint MeasureFootprint() {
  Footprint f = {0, 0};
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) f.committed += region.RegionSize;
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < at) break;
  }
  DWORD flags = 0;
  for (uintptr_t h = 4; h < 0x10000; h += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++f.handles;
  return f;
}

}  // namespace testing_icc
