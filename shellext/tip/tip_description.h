// The description line of the info tip: the text icc::ReadShownDescription reads from the
// profile's `desc` tag with kTipTextLimit, a bounded range at a time, made into one line.
// Portable: no platform headers, so that it is unit-tested and fuzzed natively.
//
// Whatever the counts the tag claims, at most kTipTextLimit characters of the text shown are
// read, never more than kTipTextLimit bytes at once; a localized tag's record table is read
// whole (it lies within the tag), so that the record shown is the one every reader shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "description.h"

namespace hueshell {

constexpr uint32_t kTipTextLimit = 64 * 1024;

// The stored bytes of the tag, read through the colour service.
using TagBytes = icc::TagBytes;

// The text as the tip shows it: one line by icc::ShownText's rule (a line break is a space,
// so that no description can forge a line of its own), and a cut text ends with "...".
void FinishTipLine(std::u16string* text, bool cut);

}  // namespace hueshell
