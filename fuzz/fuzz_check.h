// A check that stays in fuzzing builds whatever NDEBUG says: a broken promise of the code
// under test aborts the run, which libFuzzer reports with the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                                   \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)
