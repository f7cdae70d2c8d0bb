#include "tip_description.h"

namespace hueshell {
namespace {

bool IsControl(char16_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

}  // namespace

void FinishTipLine(std::u16string* text, bool cut) {
  if (cut && !text->empty() && text->back() >= 0xD800 && text->back() <= 0xDBFF)
    text->pop_back();  // half of a pair
  for (char16_t& c : *text)
    if (IsControl(c)) c = u' ';
  if (cut) text->append(u"...");
}

}  // namespace hueshell
