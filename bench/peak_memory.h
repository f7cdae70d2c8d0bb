// The memory a Windows benchmark's call costs: the rise of the process's committed private
// memory while it runs.  Windows only.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

namespace bench {

// The process's committed private memory, region by region (Wine's process counters stay
// at 0).
inline uint64_t Committed() {
  uint64_t committed = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < at) break;
  }
  return committed;
}

// The most memory committed above the start while `f` runs, sampled by another thread.
template <class F>
uint64_t PeakRise(F f) {
  const uint64_t base = Committed();
  std::atomic<bool> done{false};
  std::atomic<uint64_t> peak{base};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max<uint64_t>(peak, Committed());
      Sleep(0);
    }
  });
  f();
  peak = std::max<uint64_t>(peak, Committed());
  done = true;
  sampler.join();
  return peak - base;
}

}  // namespace bench
