// Feeds arbitrary bytes to the description record parser as a stored tag.  It must stay
// inside the tag and give exactly what the record's rules say.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "icc_profile.h"
#include "description.h"
#include "text_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // A copy of exactly the tag's size, so that AddressSanitizer sees any read past it.
  std::vector<uint8_t> tag(data, data + size);
  icc::TextDescription d;
  d.ascii = "left over";
  d.has_unicode = true;
  const bool ok = icc::ParseTextDescription(tag.data(), tag.size(), &d);
  CHECK(ok == (size >= 12));
  if (!ok) return 0;

  // The text: the bytes from 12 up to the first zero, within the count and the tag.
  const uint64_t count = icc::LoadBE32(tag.data() + 8);
  const uint64_t limit = std::min<uint64_t>(count, size - 12);
  CHECK(d.ascii.size() <= limit);
  CHECK(std::memcmp(d.ascii.data(), tag.data() + 12, d.ascii.size()) == 0);
  CHECK(std::memchr(d.ascii.data(), 0, d.ascii.size()) == nullptr);
  CHECK(d.ascii.size() == limit || tag[12 + d.ascii.size()] == 0);

  // The Unicode count sits at 16 + count and counts only when it lies inside the tag.
  const bool inside = 16 + count + 4 <= size;
  CHECK(d.has_unicode == (inside && icc::LoadBE32(tag.data() + 16 + count) != 0));

  // The writing rule: whatever was stored, new text (here made of the input's first units)
  // is the text shown afterwards, and the new tag reads whole.
  icc::Description stored;
  if (!icc::ParseDescription(tag.data(), size, {}, &stored) || stored.damage) return 0;
  std::u16string text;
  for (std::size_t i = 12; i + 1 < size && text.size() < 24; i += 2)
    text += char16_t(tag[i] << 8 | tag[i + 1]);
  const icc::CodePage& code_page = icc::PortableCodePage();
  if (!icc::SetDescriptionText(&stored, text, code_page)) return 0;
  std::vector<uint8_t> built;
  CHECK(icc::BuildDescription(stored, &built));
  icc::Description back;
  CHECK(icc::ParseDescription(built.data(), built.size(), {}, &back) && !back.damage);
  CHECK(icc::DescriptionText(back, code_page) == text);
  return 0;
}
