// UTF-16 between the standard library's char16_t and the Windows API's wchar_t, which hold
// the same units on Windows: the one place the programs change one into the other.
#pragma once

#include <cwchar>
#include <string>

#include "utf8.h"

namespace colour {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t holds UTF-16 units on Windows");

inline const wchar_t* WideOf(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::wstring Wide(const std::u16string& text) {
  return std::wstring(WideOf(text), text.size());
}
inline std::u16string Utf16(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string Utf16(const wchar_t* text) { return Utf16(text, std::wcslen(text)); }
inline std::u16string Utf16(const std::wstring& text) { return Utf16(text.data(), text.size()); }

// UTF-8 (the cli's arguments and output) and the API's wide text.
inline std::wstring WideFromUtf8(const std::string& utf8) { return Wide(icc::FromUtf8(utf8)); }
inline std::string Utf8(const wchar_t* text, std::size_t length) {
  return icc::ToUtf8(Utf16(text, length));
}

}  // namespace colour
