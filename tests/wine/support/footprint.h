// What a process holds, for tests that repeat an operation and expect nothing left behind.
#pragma once

#include <windows.h>

namespace testing_icc {

struct Footprint {
  SIZE_T committed;  // private memory committed, region by region
  DWORD handles;     // kernel handles that answer (the process-wide counters read 0 under Wine)
};

Footprint MeasureFootprint();

}  // namespace testing_icc
