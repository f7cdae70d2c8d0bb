#include "shown_text.h"

namespace icc {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsLineBreak(char16_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool IsHigh(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

}  // namespace

std::u16string TextBeforeZero(const std::u16string& text) {
  return text.substr(0, text.find(u'\0'));
}

std::u16string ShownText(const std::u16string& text, TextLines lines, bool cut) {
  std::u16string shown = TextBeforeZero(text);
  if (cut && shown.size() == text.size() && !shown.empty() && IsHigh(shown.back()))
    shown.pop_back();
  const char16_t line_break = lines == TextLines::One ? u' ' : u'\n';
  std::u16string out;
  out.reserve(shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char16_t c = shown[i];
    if (IsLineBreak(c)) {
      if (c == u'\r' && i + 1 < shown.size() && shown[i + 1] == u'\n') ++i;
      out += line_break;
    } else if (c == u'\t') {
      out += u' ';
    } else if (IsControl(c)) {
      out += kReplacement;
    } else if (IsHigh(c) && i + 1 < shown.size() && IsLow(shown[i + 1])) {
      out += c;
      out += shown[++i];
    } else {
      out += IsHigh(c) || IsLow(c) ? kReplacement : c;
    }
  }
  return out;
}

}  // namespace icc
