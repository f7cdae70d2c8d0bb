// tagwright-cli's text at its edges: UTF-8 arguments to UTF-16 and back, and JSON strings.
#include <gtest/gtest.h>

#include "tool.h"

namespace {

TEST(CliText, Utf8AndUtf16) {
  const std::u16string text = u"A\u00e9\u039a\u4e16\U0001F600";
  EXPECT_EQ(icc::ToUtf8(text), "A\xc3\xa9\xce\x9a\xe4\xb8\x96\xf0\x9f\x98\x80");
  EXPECT_EQ(icc::FromUtf8(icc::ToUtf8(text)), text);

  // Broken input becomes U+FFFD, one per bad byte, and never reads past the end.
  EXPECT_EQ(icc::FromUtf8("a\xff" "b"), u"a\ufffdb");
  EXPECT_EQ(icc::FromUtf8("\xe4\xb8"), u"\ufffd\ufffd");          // cut short
  EXPECT_EQ(icc::FromUtf8("\xc0\xaf"), u"\ufffd\ufffd");          // overlong
  EXPECT_EQ(icc::FromUtf8("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");  // a surrogate
  EXPECT_EQ(icc::ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
}

TEST(CliText, JsonStringsAndTerminalText) {
  EXPECT_EQ(cli::JsonString("a\"b\\c\n\x01\xc3\xa9"), "\"a\\\"b\\\\c\\u000a\\u0001\xc3\xa9\"");
  // Bytes that are not UTF-8 cannot make the JSON invalid; C1 controls are escaped too.
  EXPECT_EQ(cli::JsonString("x\xff\xc2\x9b"), "\"x\xef\xbf\xbd\\u009b\"");
  EXPECT_FALSE(icc::IsUtf8("x\xff"));
  EXPECT_EQ(cli::Printable("a\x1b[2J\n\xff\xc2\x9b\xc3\xa9"), "a\\x1b[2J\\n\\xff\\u009b\xc3\xa9");
}

}  // namespace
