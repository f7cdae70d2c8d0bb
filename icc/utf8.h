// Text between the forms the programs use: UTF-8 (the command line's, JSON's) and UTF-16
// (descriptions'), and ASCII widened unit by unit.  Portable C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace icc {

// A lone surrogate becomes U+FFFD.
std::string ToUtf8(const std::u16string& text);
// A byte that starts no sequence, or a broken one, becomes U+FFFD.
std::u16string FromUtf8(const std::string& text);
bool IsUtf8(const std::string& text);
// The length of the UTF-8 sequence at text[i] and its character in *c; 0 for a byte that
// starts no sequence, or a broken one.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, uint32_t* c);
// Each byte as the unit of the same value: for ASCII words of our own.
std::u16string FromAscii(const std::string& ascii);

}  // namespace icc
