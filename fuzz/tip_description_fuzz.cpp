// Feeds arbitrary bytes to the info tip's description reader as a stored `desc` tag read
// through the colour service.  Whatever the tag claims, it must ask only for bytes inside
// the tag, never for more than the limit at once, and give a text within the limit; however
// small the limit, a localized record is chosen as from the whole table.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "icc_profile.h"
#include "tip_description.h"

namespace {

class InputTag final : public hueshell::TagBytes {
 public:
  InputTag(const std::vector<uint8_t>& tag, uint32_t limit) : tag_(tag), limit_(limit) {}
  uint32_t Size() override { return uint32_t(tag_.size()); }
  bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) override {
    CHECK(*count <= limit_);
    if (offset > tag_.size()) return false;  // the service refuses such an offset
    const uint32_t n = std::min<uint32_t>(*count, uint32_t(tag_.size()) - offset);
    std::memcpy(buffer, tag_.data() + offset, n);
    *count = n;
    read += n;
    return true;
  }
  uint64_t read = 0;

 private:
  const std::vector<uint8_t>& tag_;
  uint32_t limit_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  InputTag tag(bytes, hueshell::kTipTextLimit);
  // The user's language comes from the first bytes, so that every record can be chosen.
  const icc::Language chosen = {{char(size > 0 ? data[0] : 'e'), char(size > 1 ? data[1] : 'n')},
                                {'U', 'S'}};
  struct {
    std::u16string text;
    bool cut = false;
  } d;
  if (!icc::ReadShownDescription(tag, chosen, icc::PortableCodePage(), hueshell::kTipTextLimit,
                                 &d.text, &d.cut))
    return 0;
  CHECK(size >= 8);
  // The cost is flat: a table of records (no more than the tag holds) or two records' texts
  // of at most the limit's number of characters.
  CHECK(tag.read <= 16 + 4 + 3 * uint64_t(hueshell::kTipTextLimit) + 12 * uint64_t(size / 12));
  CHECK(d.text.size() <= hueshell::kTipTextLimit);
  CHECK(d.text.find(u'\0') == std::u16string::npos);
  // The same text as the whole tag gives (up to a U+0000 inside a localized record).
  icc::Description whole;
  if (!d.cut && size <= hueshell::kTipTextLimit &&
      icc::ParseDescription(bytes.data(), bytes.size(), chosen, &whole) && !whole.damage) {
    const std::u16string text = icc::DescriptionText(whole, icc::PortableCodePage());
    CHECK(d.text == text.substr(0, text.find(u'\0')));
  }
  std::u16string line = d.text;
  hueshell::FinishTipLine(&line, d.cut);
  for (char16_t c : line)
    CHECK(c >= 0x20 && (c < 0x7F || c > 0x9F) && c != 0x2028 && c != 0x2029);
  CHECK(line.size() <= d.text.size() + 3);

  // Read 16 bytes at a time (a row at once), the table gives the record the whole tag gives.
  std::vector<icc::LocalizedEntry> entries;
  if (!icc::ParseLocalizedEntries(bytes.data(), bytes.size(), uint32_t(size), &entries)) return 0;
  InputTag small(bytes, 16);
  icc::LocalizedChoice choice;
  CHECK(icc::ChooseLocalizedEntry(small, chosen, 16, &choice));
  CHECK(choice.count == entries.size());
  CHECK(choice.index == icc::ChooseLocalizedRecord(entries, chosen.language, chosen.country));
  if (choice.index >= 0) {
    const icc::LocalizedEntry& e = entries[std::size_t(choice.index)];
    CHECK(e.offset == choice.entry.offset && e.length == choice.entry.length);
  }
  return 0;
}
