// The Windows ANSI code page as the code page of a description's ASCII record: the one
// conversion between ANSI and UTF-16 that every Windows program here uses.
#pragma once

#include "description.h"

namespace colour {

// Reads through the ANSI code page and writes without best-fit characters: a character the
// code page lacks becomes its default character ('?'), never a look-alike, so that the
// Unicode record is what keeps it.
const icc::CodePage& AnsiCodePage();

}  // namespace colour
