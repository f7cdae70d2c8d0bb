// Pictures the Windows tests leave for people to look at.
#pragma once

#include <windows.h>

#include <string>

namespace testing_icc {

// Writes a top-down 32-bit DIB section with premultiplied alpha (as the shell takes it) as a
// PNG, through the platform's imaging codecs (COM must be initialized on the thread).  Fails
// the running test when it cannot.
void WritePng(const std::string& path, HBITMAP bitmap);

}  // namespace testing_icc
