#include "tip_description.h"

#include "shown_text.h"

namespace hueshell {

void FinishTipLine(std::u16string* text, bool cut) {
  *text = icc::ShownText(*text, icc::TextLines::One, cut);
  if (cut) text->append(u"...");
}

}  // namespace hueshell
