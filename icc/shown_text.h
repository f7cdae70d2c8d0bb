// How every surface shows a text read from a profile (a description, a copyright, any text
// tag): one rule, so that the info tip, the property handler, the preview pane and the
// command line show the same characters for the same bytes.  Portable: no platform headers.
//
//  - A text ends at its first U+0000: the zero that many records carry at their end (as C
//    strings do) is not part of the text.
//  - A line break (CR LF, CR, LF, VT, FF, NEL, U+2028, U+2029) ends a line on a surface that
//    shows several; on one that shows a single line it is a space, so that no text can forge
//    a line of its own.  A tab is a space.
//  - Every other control character (C0, DEL, C1) and a surrogate without its pair becomes
//    U+FFFD: visible, and harmless to whatever the text is handed to.
// Only what is shown goes through this rule: an edit keeps the stored text it did not change.
#pragma once

#include <string>

namespace icc {

enum class TextLines {
  One,      // a line break is a space
  Several,  // each line break is one '\n'
};

// The text as a surface shows it.  With `cut` (the text was cut at a read limit), a high
// surrogate at its end is half of a pair that goes on, and is dropped.
std::u16string ShownText(const std::u16string& text, TextLines lines, bool cut = false);

// The text up to its first U+0000: the first part of the rule alone, for a surface that
// shows the other characters in a form of its own (the command line escapes controls).
std::u16string TextBeforeZero(const std::u16string& text);

}  // namespace icc
