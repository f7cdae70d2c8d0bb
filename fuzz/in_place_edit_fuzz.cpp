// A new description written into arbitrary profile bytes in place, cut short after a number
// of bytes that the input's last two choose: the edit either leaves the old bytes (nothing planned, or put
// back after the failed write) or, complete, a profile that opens and shows the new text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "cut_file.h"
#include "description.h"
#include "fuzz_check.h"
#include "icc_profile.h"
#include "in_place_edit.h"

namespace {

const std::u16string kTitle = u"A title written in place";

std::unique_ptr<icc::Profile> Open(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<icc::Profile> p;
  auto file = std::make_unique<icc::MemoryFile>(bytes);
  return icc::Profile::Open(std::move(file), &p).ok() ? std::move(p) : nullptr;
}

bool Plan(const std::vector<uint8_t>& old, icc::InPlaceEdit* edit) {
  std::unique_ptr<icc::Profile> profile = Open(old);
  if (!profile) return false;
  icc::TagChanges changes(*profile);
  icc::Description d;
  if (!icc::ReadDescription(changes, {}, &d).ok() || d.damage) return false;
  if (!icc::SetDescriptionText(&d, kTitle, icc::PortableCodePage())) return false;
  if (!icc::StoreDescription(changes, d).ok()) return false;
  return icc::PlanInPlaceEdit(old, changes.Changes(), edit).ok();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const uint64_t cut = uint64_t(data[size - 2]) << 8 | data[size - 1];
  const std::vector<uint8_t> old(data, data + size);
  icc::InPlaceEdit edit;
  if (!Plan(old, &edit)) return 0;

  testing_icc::CutFile whole(old, uint64_t(-1), false);
  bool restored = false;
  CHECK(icc::ApplyInPlaceEdit(edit, whole, &restored).ok());
  CHECK(whole.bytes == edit.result);
  std::unique_ptr<icc::Profile> written = Open(whole.bytes);
  CHECK(written);
  icc::Description back;
  CHECK(icc::ReadDescription(*written, {}, &back).ok() && !back.damage);
  CHECK(icc::DescriptionText(back, icc::PortableCodePage()) == kTitle);

  // A write that fails once: the old file is put back.
  testing_icc::CutFile cut_short(old, cut, true);
  const icc::Result r = icc::ApplyInPlaceEdit(edit, cut_short, &restored);
  if (r.ok()) {
    CHECK(cut_short.bytes == edit.result);
  } else if (restored) {
    CHECK(cut_short.bytes == old);
  }
  return 0;
}
