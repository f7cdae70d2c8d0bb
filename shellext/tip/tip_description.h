// The description line of the info tip: the text icc::ReadShownDescription reads from the
// profile's `desc` tag with kTipTextLimit, a bounded range at a time, made into one line.
// Portable: no platform headers, so that it is unit-tested and fuzzed natively.
//
// Whatever the tag's size or the counts it claims, at most kTipTextLimit bytes of each
// record are read: the cost of a tip is flat in the size of the profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "description.h"

namespace hueshell {

constexpr uint32_t kTipTextLimit = 64 * 1024;

// The stored bytes of the tag, read through the colour service.
using TagBytes = icc::TagBytes;

// The text as the tip shows it: every control character (line breaks included, so that no
// description can forge a line of its own) becomes a space, and a cut text ends with "...".
void FinishTipLine(std::u16string* text, bool cut);

}  // namespace hueshell
