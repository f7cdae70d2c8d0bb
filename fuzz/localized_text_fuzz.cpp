// Feeds arbitrary bytes to the localized description parser as a stored tag.  It must stay
// inside the tag and read back what it builds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "icc_profile.h"
#include "localized_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Exactly the tag's bytes, so that AddressSanitizer sees any read past them.
  const std::vector<uint8_t> tag(data, data + size);
  std::vector<icc::LocalizedRecord> records;
  const bool ok = icc::ParseLocalizedText(tag.data(), size, &records);
  const bool localized = size >= icc::kLocalizedHeaderSize && icc::IsLocalizedText(tag.data(), size);
  if (!ok) {
    CHECK(records.empty());
    if (!localized) return 0;
    // Refused only for strings that add up to far more than the tag.
    std::vector<icc::LocalizedEntry> entries;
    CHECK(icc::ParseLocalizedEntries(tag.data(), size, uint32_t(size), &entries));
    uint64_t total = 0;
    for (const icc::LocalizedEntry& e : entries) total += e.length;
    CHECK(total > size + icc::kLocalizedSharedTextLimit);
    return 0;
  }
  CHECK(localized);

  // The entries, each inside the tag, and a table part that the tag holds.
  CHECK(icc::LocalizedTableBytes(tag.data(), uint32_t(size)) <= size);
  std::vector<icc::LocalizedEntry> entries;
  CHECK(icc::ParseLocalizedEntries(tag.data(), size, uint32_t(size), &entries));
  CHECK(entries.size() == records.size());
  std::size_t total_text = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const icc::LocalizedEntry& e = entries[i];
    CHECK(e.length % 2 == 0 && e.offset <= size && e.length <= size - e.offset);
    CHECK(std::memcmp(e.language, records[i].language, 2) == 0);
    CHECK(std::memcmp(e.country, records[i].country, 2) == 0);
    // Unit by unit against the tag's bytes, without decoding a second copy.
    const std::u16string& text = records[i].text;
    CHECK(text.size() == e.length / 2);
    const uint8_t* be = tag.data() + e.offset;
    for (std::size_t k = 0; k < text.size(); ++k)
      CHECK(text[k] == char16_t(be[2 * k] << 8 | be[2 * k + 1]));
    total_text += text.size();
  }

  const int chosen = icc::ChooseLocalizedRecord(records, "en", "US");
  CHECK(records.empty() ? chosen == -1 : chosen >= 0 && std::size_t(chosen) < records.size());
  CHECK(chosen == icc::ChooseLocalizedRecord(entries, "en", "US"));

  // What the records build reads back the same.  Records sharing one long string make a
  // table of up to a megabyte of text; building that says no more than a small one does.
  if (total_text > 32768) return 0;
  const std::vector<uint8_t> built = icc::BuildLocalizedText(records);
  std::vector<icc::LocalizedRecord> again;
  CHECK(icc::ParseLocalizedText(built.data(), built.size(), &again));
  CHECK(again.size() == records.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    CHECK(std::memcmp(again[i].language, records[i].language, 2) == 0);
    CHECK(std::memcmp(again[i].country, records[i].country, 2) == 0);
    CHECK(again[i].text == records[i].text);
  }
  return 0;
}
