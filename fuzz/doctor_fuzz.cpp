// Feeds arbitrary bytes to the profile doctor: every check, structural and through Little
// CMS, then the repairs.  Findings point inside the file (or at its end, where something
// is missing); a repaired profile opens, its repaired faults are gone when checked again,
// and its size field holds its length.
#include <cstring>
#include <memory>
#include <string>

#include "doctor.h"
#include "fuzz_check.h"
#include "profile_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  testing_icc::MemoryFile file(std::vector<uint8_t>(data, data + size));
  doctor::Repair repair;
  if (!doctor::RepairProfile(file, &repair).ok()) return 0;
  for (const icc::Finding& f : repair.before.findings) {
    CHECK(f.offset <= int64_t(size));
    CHECK(icc::FindCheckCode(f.code) != nullptr);
  }
  if (!repair.profile) {
    CHECK(repair.repaired.empty());
    return 0;
  }
  CHECK(!repair.repaired.empty());
  icc::MemorySink sink;
  CHECK(repair.profile->WriteTo(sink).ok());
  CHECK(icc::LoadBE32(sink.bytes.data()) == sink.bytes.size());
  testing_icc::MemoryFile fixed(sink.bytes);
  icc::CheckReport again;
  CHECK(doctor::CheckProfile(fixed, &again).ok());
  for (const std::string& code : repair.repaired) CHECK(!again.Has(code.c_str()));
  return 0;
}
